#include <signal.h>

#include "output_capture.h"
#include "stop/stop_request.h"
#include "zdp/zdp_commands.h"
#include "zdp_fixture.h"

namespace {

class StartSendTest : public ZdpTest {
protected:
    void SetUp() override {
        ZdpTest::SetUp();
        send_transfers.add(NODE_A, 0x0042);
    }
    // Queues `count` acknowledgements of the last request.
    void queue_acks(int count) {
        for (int i = 0; i < count; ++i) link.replies.push_back(zdp_reply(0, zdp.last_sequence()));
    }
    // Makes `count` acknowledgements arrive once `ms` of waiting have passed.
    void acks_after(long long ms, int count) {
        pacing.after_sleep = [this, ms, count, done = false]() mutable {
            if (done || pacing.slept_ms < ms) return;
            done = true;
            queue_acks(count);
        };
    }
};

TEST_F(StartSendTest, UnknownTransmitterSendsNothing) {
    per_accumulator.value = 0.5;
    EXPECT_EQ(start_send_command(zdp, "02:00:00:00:00:08\n", 1), "failure : MAC address not recognised\n");
    EXPECT_TRUE(link.sent.empty());
    EXPECT_EQ(per_accumulator.value, 1.0);
    reset_transfer_tables();
    EXPECT_EQ(start_send_command(zdp, "02:00:00:00:00:07\n", 1), "failure : MAC address not recognised\n");
}

TEST_F(StartSendTest, BothPhasesReceiveAllAcknowledgements) {
    debug_level = 2;
    link.responder = [this](const Frame&, std::deque<Frame>&) { queue_acks(4); };
    capture_stdout();
    EXPECT_EQ(start_send_command(zdp, "02:00:00:00:00:07\n", 2), "");
    EXPECT_EQ(captured_stdout(),
              "\nSTART SEND command started :"
              "\n    Waiting for 2 ACKS prior to test start:\n"
              "     Received ACK 1 of 2 \n"
              "     Received ACK 2 of 2 \n"
              "Test in progress...\n"
              "    Waiting for 2 ACKS after to test is done:\n"
              "     Received ACK 1 of 2 \n"
              "     Received ACK 2 of 2 \n"
              "\n");
    ASSERT_EQ(link.sent.size(), 1u);
    EXPECT_EQ(link.sent[0][19], 0x12);
    EXPECT_EQ(be16(link.sent[0], 30), 0x0042);
}

TEST_F(StartSendTest, MissedAcknowledgementsAreReportedAndTheCommandSucceeds) {
    // Nothing answers before the test; the end-of-test acknowledgements come late.
    acks_after(10000, 2);
    capture_stdout();
    EXPECT_EQ(start_send_command(zdp, "02:00:00:00:00:07\n", 2), "");
    std::string output = captured_stdout();
    EXPECT_EQ(output, "..missed ack!\n..missed ack!\n");
}

TEST_F(StartSendTest, SummaryNamesTheFailedAcknowledgement) {
    debug_level = 2;
    acks_after(10000, 1);
    capture_stdout();
    EXPECT_EQ(start_send_command(zdp, "02:00:00:00:00:07 0\n", 2), "");
    std::string output = captured_stdout();
    EXPECT_NE(output.find("missed ack!\nmissed ack!\n     Failed to receive ACK 2 of 2\n"), std::string::npos)
        << output;
    EXPECT_NE(output.find("     Received ACK 1 of 2 \n     Failed to receive ACK 2 of 2\n\n"), std::string::npos)
        << output;
}

TEST_F(StartSendTest, QuitThenContinueEndsWithSuccess) {
    pacing.keys = {'x', 'q', 'z', 'c'};
    capture_stdout();
    EXPECT_EQ(start_send_command(zdp, "02:00:00:00:00:07 5000\n", 1), "");
    EXPECT_EQ(captured_stdout(), "..Break by keystroke\nContinue or Abort? (c|a)\n");
    EXPECT_TRUE(pacing.keys.empty());
}

TEST_F(StartSendTest, KeyZeroGoesBackToWaiting) {
    pacing.keys = {'q', 0};
    acks_after(2000, 2);
    capture_stdout();
    EXPECT_EQ(start_send_command(zdp, "02:00:00:00:00:07 5000\n", 1), "");
    captured_stdout();
    EXPECT_TRUE(link.replies.empty());
}

// A stop in either phase ends START_SEND at the wait it cut short: no
// "missed ack!", no summary, no further pass.
TEST_F(StartSendTest, StopEndsEitherPhaseAtOnce) {
    const struct {
        const char* name;
        int acks_before_test;  // acknowledgements that come at all
        const char* output;
    } cases[] = {
        // One pass without acknowledgement (its dot) came before the stop.
        {"before the test", 0, "\nSTART SEND command started :\n    Waiting for 2 ACKS prior to test start:\n."},
        {"after the test", 2,
         "\nSTART SEND command started :\n    Waiting for 2 ACKS prior to test start:\n"
         "     Received ACK 1 of 2 \n     Received ACK 2 of 2 \nTest in progress...\n"
         "    Waiting for 2 ACKS after to test is done:\n"},
    };
    debug_level = 2;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        link.responder = [this, &c](const Frame&, std::deque<Frame>&) { queue_acks(c.acks_before_test); };
        long long slept_at_stop = -1;
        pacing.after_sleep = [&] {
            if (slept_at_stop >= 0 || pacing.slept_ms < 1000) return;
            request_stop(SIGTERM);
            slept_at_stop = pacing.slept_ms;
        };
        pacing.slept_ms = 0;
        capture_stdout();
        const std::string result = start_send_command(zdp, "02:00:00:00:00:07 5000\n", 2);
        const std::string output = captured_stdout();
        request_stop(0);
        EXPECT_EQ(result, "");
        EXPECT_EQ(output, c.output);
        EXPECT_EQ(pacing.slept_ms, slept_at_stop);
    }
}

using StartSendDeathTest = StartSendTest;

TEST_F(StartSendDeathTest, QuitThenAbortEndsTheProgramByPhase) {
    pacing.keys = {'q', 'a'};
    EXPECT_EXIT(start_send_command(zdp, "02:00:00:00:00:07\n", 1), testing::ExitedWithCode(0), "");
    // After the test has started (its first acknowledgement came) the status is -99.
    link.responder = [this](const Frame&, std::deque<Frame>&) { queue_acks(1); };
    EXPECT_EXIT(start_send_command(zdp, "02:00:00:00:00:07\n", 1), testing::ExitedWithCode(256 - 99), "");
    pacing.keys = {'q'};
    EXPECT_EXIT(start_send_command(zdp, "02:00:00:00:00:07\n", 1), testing::ExitedWithCode(256 - 99), "");
}

}  // namespace
