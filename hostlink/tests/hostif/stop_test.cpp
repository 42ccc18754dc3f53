#include <gtest/gtest.h>

#include <signal.h>

#include <functional>

#include "fake_device.h"
#include "hostif/host_interface.h"
#include "output_capture.h"
#include "stop/stop_request.h"

// Once a signal asks for a stop, every wait of the request path returns
// within one round of its own (a capture call, a polling pass) with nothing,
// and no further frame goes to the device. Time is the scripted link's
// simulated clock; the stop is asked for from inside a capture call.
namespace {

constexpr int64_t MS = 1000;

ScriptedLink::Frame stale_frame() {
    ScriptedLink::Frame frame(60, 0);
    frame[14] = 0x80;
    frame[15] = 0x01;
    frame[16] = 16;
    frame[23] = OPCODE_WRITE_MEMORY;
    return frame;
}

struct StopCase {
    const char* name;
    // Sets the scene (may run requests first); the stop then comes once
    // `stop_when` holds at a capture call.
    std::function<void(ScriptedLink&, FakeDevice&)> prepare;
    std::function<bool(const ScriptedLink&)> stop_when;
    // The wait under test; true when it succeeded (it must not).
    std::function<bool(ScriptedLink&)> wait;
    int64_t round_us;  // how long it may go on once the stop is asked for
};

class StopInWaits : public HostifTest {
protected:
    void TearDown() override {
        request_stop(0);
        HostifTest::TearDown();
    }
};

TEST_F(StopInWaits, EveryWaitReturnsWithinOneRound) {
    int64_t start = 0;
    const StopCase cases[] = {
        {"a read's reply windows", [](ScriptedLink&, FakeDevice& d) { d.silent = true; },
         [&](const ScriptedLink&) { return ScriptedLink::now_us >= start + 150 * MS; },
         [](ScriptedLink& l) {
             uint32_t value = 0;
             return read_word(l, 0x100, &value) == 0;
         },
         1 * MS},
        {"activation: device awaited for 60 s", [](ScriptedLink&, FakeDevice& d) { d.silent = true; },
         [&](const ScriptedLink&) { return ScriptedLink::now_us >= start + 1250 * MS; },
         [](ScriptedLink& l) { return activate_device(l) != 0; }, 100 * MS},
        {"polling rounds of the mailbox", [](ScriptedLink&, FakeDevice& d) { d.silent = true; },
         [&](const ScriptedLink&) { return ScriptedLink::now_us >= start + 2000 * MS; },
         [](ScriptedLink& l) {
             uint32_t status = 0;
             return poll_word(l, 0x8824, 4, 1000, &status) != 0;
         },
         100 * MS},
        {"quiet owed to a device that keeps sending",
         [&](ScriptedLink& l, FakeDevice& d) {
             d.silent = true;
             uint32_t value = 0;
             read_word(l, 0x100, &value);  // unanswered: the next request owes quiet
             d.silent = false;
             for (int64_t at = 0; at < 5000 * MS; at += 5 * MS) l.deliver_at(ScriptedLink::now_us + at, stale_frame());
             start = ScriptedLink::now_us;
         },
         [&](const ScriptedLink&) { return ScriptedLink::now_us >= start + 300 * MS; },
         [](ScriptedLink& l) {
             uint32_t value = 0;
             return read_word(l, 0x100, &value) == 0;
         },
         1 * MS},
        {"the address query's window", [](ScriptedLink&, FakeDevice& d) { d.silent = true; },
         [&](const ScriptedLink&) { return ScriptedLink::now_us >= start + 400 * MS; },
         [](ScriptedLink& l) { return find_devices(l, 10000).sent && ScriptedLink::now_us >= 10'000 * MS; }, 1 * MS},
        {"frames waiting before a request",
         [](ScriptedLink& l, FakeDevice&) {
             for (int i = 0; i < 5000; ++i) l.replies.push_back(stale_frame());
         },
         [](const ScriptedLink& l) { return l.waiting_checks >= 50; },
         [](ScriptedLink& l) { return write_word(l, 0x100, 7) == 0; }, 0},
    };
    for (const StopCase& c : cases) {
        SCOPED_TRACE(c.name);
        request_stop(0);
        forget_reply_history();
        ScriptedLink link;
        FakeDevice device;
        device.attach(link);
        start = ScriptedLink::now_us;
        c.prepare(link, device);
        const size_t sent_before_wait = link.sent.size();
        int64_t stopped_at = -1;
        size_t sent_at_stop = 0;
        int captures_at_stop = 0;
        link.on_receive = [&] {
            if (stopped_at >= 0 || !c.stop_when(link)) return;
            request_stop(SIGTERM);
            stopped_at = ScriptedLink::now_us;
            sent_at_stop = link.sent.size();
            captures_at_stop = link.receive_calls + link.waiting_checks;
        };
        capture_stdout();  // the polls' progress dots
        EXPECT_FALSE(c.wait(link));
        captured_stdout();
        ASSERT_GE(stopped_at, 0) << "the stop came while the wait ran";
        EXPECT_LE(ScriptedLink::now_us - stopped_at, c.round_us);
        EXPECT_LE(link.receive_calls + link.waiting_checks - captures_at_stop, 1);
        EXPECT_EQ(link.sent.size(), sent_at_stop) << "no frame after the stop";
        EXPECT_GE(sent_at_stop, sent_before_wait);
    }
}

// A stop that came before the request: nothing is sent, and the failure
// is not reported as one of the link.
TEST_F(StopInWaits, NothingIsSentOnceStopped) {
    request_stop(SIGINT);
    uint32_t value = 0;
    capture_stdout();
    EXPECT_NE(read_word(link, 0x100, &value), 0);
    EXPECT_EQ(write_word(link, 0x100, 1), -1);
    uint8_t mac[6];
    EXPECT_EQ(query_device_mac(link, mac), 0);
    send_activate(link);
    EXPECT_EQ(captured_stdout(), "");
    EXPECT_TRUE(link.sent.empty());
}

}  // namespace
