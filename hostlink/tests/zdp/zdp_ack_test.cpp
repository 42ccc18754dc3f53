#include "zdp/zdp_ack.h"

#include <signal.h>

#include "output_capture.h"
#include "stop/stop_request.h"
#include "zdp_fixture.h"

namespace {

class ZdpAckTest : public ZdpTest {};

TEST_F(ZdpAckTest, TimeoutsBelowOneSecondEndBeforeTheFirstPoll) {
    acknowledge_everything();
    for (int timeout : {0, 500, 999}) {
        zdp.send_report_stats(NODE_A);
        link.receive_calls = 0;
        EXPECT_EQ(wait_ack_for(zdp, timeout), -1) << timeout;
        EXPECT_EQ(link.receive_calls, 0) << timeout;
        link.replies.clear();
    }
}

TEST_F(ZdpAckTest, DefaultTimeoutPollsUntilTheSecondChanges) {
    zdp.send_report_stats(NODE_A);
    pacing.now_ms += 200;   // part-way through a second
    EXPECT_EQ(wait_ack_for(zdp, 1000), -1);
    // One pass is five empty receives of 100 ms plus 50 ms: two passes reach the next second.
    EXPECT_EQ(link.receive_calls, 10);
}

TEST_F(ZdpAckTest, NegativeTimeoutWaitsUntilAcknowledged) {
    zdp.send_report_stats(NODE_A);
    int receives = 0;
    const uint16_t seq = zdp.last_sequence();
    link.responder = nullptr;
    // The acknowledgement shows up after a long silence.
    for (int i = 0; i < 400; ++i) link.replies.push_back(zdp_reply(0, static_cast<uint16_t>(seq + 1)));
    link.replies.push_back(zdp_reply(0, seq));
    EXPECT_EQ(wait_ack_for(zdp, -1), 0);
    receives = link.receive_calls;
    EXPECT_EQ(receives, 401);
}

// A stop asked for while nothing answers ends every form of the wait, the
// one without a deadline included, before its next pass: no further
// sleep, at most the capture call it was in.
TEST_F(ZdpAckTest, StopEndsTheWaitWithinOnePass) {
    const struct {
        const char* name;
        int timeout_ms;
        int sleep_ms;
        bool idle_pass;
    } cases[] = {
        {"without deadline", -1, 50, false},
        {"without deadline, keyboard checked", -1, 50, true},
        {"ten seconds", 10000, 100, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        request_stop(0);
        zdp.send_report_stats(NODE_A);
        link.receive_calls = 0;
        long long slept_at_stop = -1;
        int receives_at_stop = 0;
        int idle_passes_after = 0;
        pacing.after_sleep = [&] {
            if (slept_at_stop >= 0 || pacing.slept_ms < 3000) return;
            request_stop(SIGINT);
            slept_at_stop = pacing.slept_ms;
            receives_at_stop = link.receive_calls;
        };
        const IdlePass idle = [&] {
            if (slept_at_stop >= 0) ++idle_passes_after;
            return true;
        };
        EXPECT_EQ(await_ack(zdp, c.timeout_ms, c.sleep_ms, nullptr, nullptr, c.idle_pass ? idle : nullptr), -1);
        ASSERT_GE(slept_at_stop, 0);
        EXPECT_EQ(pacing.slept_ms, slept_at_stop);
        EXPECT_LE(link.receive_calls - receives_at_stop, 1);
        EXPECT_EQ(idle_passes_after, 0);
        pacing.after_sleep = nullptr;
    }
    request_stop(0);
}

TEST_F(ZdpAckTest, AcknowledgementPrintsOkAtDebugLevelTwo) {
    acknowledge_everything();
    debug_level = 2;
    zdp.send_report_stats(NODE_A);
    capture_stdout();
    EXPECT_EQ(wait_ack_for(zdp, 2000), 0);
    EXPECT_EQ(captured_stdout(), " OK ");
}

TEST(ParseNodeArgument, Forms) {
    struct Case {
        const char* text;
        int result;
        uint8_t address[6];
        int timeout;
    };
    const Case cases[] = {
        {"02:00:00:00:00:07 3000\n", 1, {2, 0, 0, 0, 0, 7}, 3000},
        {"02-00-00-00-00-07,2500", 1, {2, 0, 0, 0, 0, 7}, 2500},
        {"02:00:00:00:00:07\n", 1, {2, 0, 0, 0, 0, 7}, 1000},
        {"02:00:00:00:00:07", 1, {2, 0, 0, 0, 0, 7}, 1000},
        {"  0a:3F:71:00:00:01 -1\n", 1, {0x0a, 0x3f, 0x71, 0, 0, 1}, -1},
        {"02:00:00:00:00:07 0\r\n", 1, {2, 0, 0, 0, 0, 7}, 0},
        {"02:00:00\n", 0, {2, 0, 0, 0xEE, 0xEE, 0xEE}, 0},
        {"", 0, {0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE}, 0},
    };
    for (const Case& c : cases) {
        uint8_t address[6];
        std::memset(address, 0xEE, 6);
        int timeout = 0;
        EXPECT_EQ(parse_node_argument(c.text, address, &timeout), c.result) << c.text;
        EXPECT_EQ(0, std::memcmp(address, c.address, 6)) << c.text;
        EXPECT_EQ(timeout, c.timeout) << c.text;
    }
}

}  // namespace
