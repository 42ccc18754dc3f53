#include <unistd.h>

#include <fstream>

#include "output_capture.h"
#include "script/script.h"
#include "zdp_fixture.h"

namespace {

// A certification script run by the script interpreter against two simulated
// nodes: the transmitter sends 1000 packets, the receiver counts 990.
class CertScriptTest : public ZdpTest {
protected:
    void SetUp() override {
        ZdpTest::SetUp();
        link.responder = [](const Frame& sent, std::deque<Frame>& replies) {
            if (sent.size() < 26 || sent[15] != 0x02) return;
            uint16_t seq = sequence_of(sent);
            bool transmitter = sent[5] == 0x07;
            switch (sent[19]) {
                case 0x12:
                    for (int i = 0; i < 4; ++i) replies.push_back(zdp_reply(0, seq));
                    break;
                case 0x17: {
                    std::vector<Sample> samples(16, Sample{524288, 1, 1});
                    replies.push_back(zdp_reply(0, seq,
                                                transmitter ? statistics_segments(transmitter_counters(1000))
                                                            : statistics_segments(receiver_counters(990), samples)));
                    break;
                }
                default:
                    replies.push_back(zdp_reply(0, seq));
            }
        };
        char path[] = "/tmp/cert_script_XXXXXX";
        int fd = mkstemp(path);
        ASSERT_GE(fd, 0);
        close(fd);
        path_ = path;
    }
    void TearDown() override {
        std::remove(path_.c_str());
        ZdpTest::TearDown();
    }
    int run(const std::string& script, std::string* output) {
        std::ofstream(path_) << script;
        capture_stdout();
        int result = run_script(link, zdp, path_.c_str());
        *output = captured_stdout();
        return result;
    }
    std::string path_;
};

const char* const cert_script =
    "ENABLE_CERT,02:00:00:00:00:07\n"
    "ENABLE_CERT,02:00:00:00:00:08\n"
    "CONFIG_SEND,02:00:00:00:00:07\n"
    "SA=02:00:00:00:00:07\n"
    "DA=02:00:00:00:00:08\n"
    "dgen_type=1\n"
    "length=100\n"
    "npkts=1000\n"
    "numacks=2\n"
    "CONFIG_SEND_END\n"
    "CONFIG_RECEIVE,02:00:00:00:00:08\n"
    "SA=02:00:00:00:00:07\n"
    "DA=02:00:00:00:00:08\n"
    "CONFIG_RECEIVE_END\n"
    "START_SEND,02:00:00:00:00:07\n"
    "REPORT_STATS,02:00:00:00:00:07\n"
    "REPORT_STATS,02:00:00:00:00:08\n"
    "DISABLE_CERT,02:00:00:00:00:07\n"
    "DISABLE_CERT,02:00:00:00:00:08\n";

TEST_F(CertScriptTest, PrintsOneColumnLine) {
    cert_verbose = 1;
    std::string output;
    EXPECT_EQ(run(cert_script, &output), 9);
    EXPECT_EQ(output, "TX: 1000 100000 0       1234 RX: 0.00 1.00e-02   1 990 99000 0 0 0 0       4321 0 0 ");
    // The START_SEND acknowledgements of both phases were all taken.
    EXPECT_TRUE(link.replies.empty());
}

TEST_F(CertScriptTest, FailureUnderQuitOnFailureEndsTheRunAsAFailure) {
    stop_on_failure = 1;
    std::string output;
    EXPECT_EQ(run("STOP_SEND,02:00:00:00:00:07\nENABLE_CERT,02:00:00:00:00:07\n", &output), QUIT_ON_FAILURE_RESULT);
    EXPECT_EQ(output, "Failure - failure : SA not recognised\n");
    EXPECT_TRUE(link.sent.empty());
}

}  // namespace
