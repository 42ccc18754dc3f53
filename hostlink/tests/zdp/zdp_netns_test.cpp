#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "devsim_process.h"
#include "run_program.h"
#include "text_count.h"

// `hostlink -s` running network test scripts against devsim with two extra
// emulated HomePNA stations on the veth pair.
namespace {

namespace fs = std::filesystem;

const char* const DEVICE = "0a:3f:71:00:00:01";
const char* const NODE_B = "02:00:00:00:00:0b";
const char* const NODE_C = "02:00:00:00:00:0c";

class ZdpEndToEnd : public ::testing::Test {
protected:
    fs::path directory;

    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "zdp_e2e_XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        directory = pattern;
    }
    void TearDown() override { fs::remove_all(directory); }

    ProgramRun hostlink(const std::string& script, std::vector<std::string> options = {},
                        const std::string& input = "") const {
        std::string path = (directory / "script.txt").string();
        std::ofstream(path, std::ios::binary) << script;
        std::vector<std::string> arguments = {"-m", "1", "-a", "192.0.2.2"};
        arguments.insert(arguments.end(), options.begin(), options.end());
        arguments.push_back("-s");
        arguments.push_back(path);
        return run_program(HOSTLINK_BINARY, arguments, input, 90);
    }

    static std::vector<std::string> devsim_options(const std::string& loss, const std::string& snr) {
        return {"--node", NODE_B, "--node", NODE_C, "--loss", loss, "--snr", snr, "--pe", "11",
                "--seed", "7", "--ack-gap-ms", "5"};
    }
};

TEST_F(ZdpEndToEnd, CertScriptPrintsOneColumnLineWithPerAndSnr) {
    DevsimProcess devsim(devsim_options("0.05", "30"));
    ASSERT_TRUE(devsim.ready()) << devsim.output();
    std::string b = NODE_B, c = NODE_C;
    ProgramRun run = hostlink("ENABLE_CERT," + b + "\n"
                              "ENABLE_CERT," + c + "\n"
                              "CONFIG_SEND," + b + "\n"
                              "SA=" + b + "\n"
                              "DA=" + c + "\n"
                              "dgen_type=1\nlength=100\nnpkts=1000\nnumacks=1\ntxpe_test=11\n"
                              "CONFIG_SEND_END\n"
                              "CONFIG_RECEIVE," + c + "\n"
                              "SA=" + b + "\n"
                              "DA=" + c + "\n"
                              "dgen_type=1\nlength=100\n"
                              "CONFIG_RECEIVE_END\n"
                              "START_SEND," + b + " 5000\n"
                              "REPORT_STATS," + b + " 3000\n"
                              "REPORT_STATS," + c + " 3000\n"
                              "DISABLE_CERT," + b + "\n"
                              "DISABLE_CERT," + c + "\n",
                              {"-c"});
    devsim.stop();
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(run.output.find("Failure"), std::string::npos) << run.output;
    size_t tx = run.output.find("TX: ");
    size_t rx = run.output.find("RX: ");
    ASSERT_NE(tx, std::string::npos) << run.output;
    ASSERT_NE(rx, std::string::npos) << run.output;
    EXPECT_LT(tx, rx);
    double snr = 0, per = -1;
    int pe = -1;
    ASSERT_EQ(std::sscanf(run.output.c_str() + rx, "RX: %lf %lf %d", &snr, &per, &pe), 3) << run.output;
    EXPECT_NEAR(snr, 30.0, 0.1) << run.output;
    EXPECT_NEAR(per, 0.05, 0.03) << run.output;
    EXPECT_EQ(pe, 11);
    unsigned transmitted = 0;
    ASSERT_EQ(std::sscanf(run.output.c_str() + tx, "TX: %u", &transmitted), 1);
    EXPECT_EQ(transmitted, 1000u);
}

TEST_F(ZdpEndToEnd, TestNetworkRunsTheSixPairsInOrder) {
    DevsimProcess devsim(devsim_options("0.1", "25"));
    ASSERT_TRUE(devsim.ready()) << devsim.output();
    ProgramRun run = hostlink(std::string("TEST_NETWORK,") + DEVICE + "\n"
                              "dgen_type=1\nlength=64\nnpkts=200\nnumacks=1\n"
                              "TEST_NETWORK_END\n");
    devsim.stop();
    EXPECT_EQ(run.status, 0) << run.output;
    std::vector<std::string> pairs;
    const std::string marker = "performing test : ";
    for (size_t at = run.output.find(marker); at != std::string::npos; at = run.output.find(marker, at + 1)) {
        pairs.push_back(run.output.substr(at + marker.size(), run.output.find('\n', at) - at - marker.size()));
    }
    const std::string a = "a 3f 71 0 0 1", b = "2 0 0 0 0 b", c = "2 0 0 0 0 c";
    auto pair = [](const std::string& sa, const std::string& da) { return "SA = " + sa + " , DA = " + da; };
    const std::vector<std::string> expected = {pair(a, b), pair(a, c), pair(b, a), pair(b, c), pair(c, a), pair(c, b)};
    EXPECT_EQ(pairs, expected) << run.output;
    EXPECT_EQ(count_of(run.output, "\tPER = "), 6u) << run.output;
    EXPECT_EQ(count_of(run.output, "Failed to receive ACK"), 0u) << run.output;
}

// Numbers only where something was measured: a test that sends nothing gives
// no PER, and the padding of a short statistics reply is no counter.
TEST_F(ZdpEndToEnd, NothingSentAndShortStatisticsReplies) {
    {
        DevsimProcess devsim({"--node", NODE_B, "--ack-gap-ms", "5"});
        ASSERT_TRUE(devsim.ready()) << devsim.output();
        ProgramRun run = hostlink(std::string("TEST_NETWORK,") + DEVICE + "\n"
                                  "dgen_type=1\nlength=64\nnpkts=0\nnumacks=1\n"
                                  "TEST_NETWORK_END\n");
        devsim.stop();
        EXPECT_EQ(run.status, 0) << run.output;
        EXPECT_EQ(count_of(run.output, "\tPER = n/a%  \n\n"), 2u) << run.output;
        EXPECT_EQ(count_of(run.output, "nan"), 0u) << run.output;
        EXPECT_EQ(count_of(run.output, "inf"), 0u) << run.output;
    }
    DevsimProcess devsim({"--node", NODE_B, "--ack-gap-ms", "5", "--stats-counters", "2"});
    ASSERT_TRUE(devsim.ready()) << devsim.output();
    std::string a = DEVICE, b = NODE_B;
    ProgramRun run = hostlink("ENABLE_CERT," + a + "\nENABLE_CERT," + b + "\n"
                              "CONFIG_SEND," + a + "\nSA=" + a + "\nDA=" + b +
                                  "\ndgen_type=1\nlength=100\nnpkts=100\nnumacks=1\nCONFIG_SEND_END\n"
                                  "CONFIG_RECEIVE," + b + "\nSA=" + a + "\nDA=" + b +
                                  "\ndgen_type=1\nlength=100\nCONFIG_RECEIVE_END\n"
                                  "START_SEND," + a + " 5000\n"
                                  "REPORT_STATS," + a + " 3000\n"
                                  "REPORT_STATS," + b + " 3000\n",
                              {"-c"});
    devsim.stop();
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(run.output.find("Failure"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("TX: 100 10000 RX: "), std::string::npos) << run.output;
    EXPECT_EQ(run.output.find("unknown csType"), std::string::npos) << run.output;
}

TEST_F(ZdpEndToEnd, StationAndChannelTablesShowWhatTheEmulatorHolds) {
    DevsimProcess devsim(devsim_options("0", "30"));
    ASSERT_TRUE(devsim.ready()) << devsim.output();
    ProgramRun run = hostlink(std::string("GET_STATIONS,") + DEVICE + "\n"
                              "GET_TX_CHAN_TABLE,0\n"
                              "GET_RX_CHAN_TABLE,0\n"
                              "GET_TX_PE," + NODE_B + "\n"
                              "GET_RX_PE," + NODE_C + "\n");
    devsim.stop();
    EXPECT_EQ(run.status, 0) << run.output;
    for (const char* expected : {"02:00:00:00:00:0b\n", "02:00:00:00:00:0c\n",
                                 "SA                   DA                Sender Pe\n",
                                 "SA                   DA                Receiver Pe\n",
                                 "mac : 02 00 00 00 00 0b , TCHAN PE = 11\n",
                                 "mac : 02 00 00 00 00 0c , RCHAN PE = 11\n"}) {
        EXPECT_NE(run.output.find(expected), std::string::npos) << expected << "\n" << run.output;
    }
}

TEST_F(ZdpEndToEnd, KeysQThenAAbortTheWaitBeforeTheTest) {
    DevsimProcess devsim({"--node", NODE_B, "--node", NODE_C, "--ack-gap-ms", "3000"});
    ASSERT_TRUE(devsim.ready()) << devsim.output();
    std::string b = NODE_B, c = NODE_C;
    ProgramRun run = hostlink("CONFIG_SEND," + b + "\nSA=" + b + "\nDA=" + c +
                                  "\ndgen_type=1\nnpkts=10\nCONFIG_SEND_END\n"
                                  "START_SEND," + b + " 10000\n"
                                  "PRINT,0,not reached\n",
                              {}, "xqza");
    devsim.stop();
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find(".Break by keystroke\nContinue or Abort? (c|a)\n"), std::string::npos) << run.output;
    EXPECT_EQ(run.output.find("not reached"), std::string::npos) << run.output;
}

// ENABLE_CERT, then REPORT_STATS, against station faults. With --zdp-stale
// each reply follows a copy of it with the sequence number before: a loader
// that took the copy would leave the real acknowledgement waiting and show
// it as the statistics, without counters. An error reply acknowledges with
// code 0 but holds no counters. Where a reply is to come, the wait is 3 s:
// the default 1000 ms lasts only until the calendar second changes, which
// may happen while the loader sleeps after the stale copy.
TEST_F(ZdpEndToEnd, RepliesAreMatchedBySequenceNumberAndErrorCode) {
    struct Case {
        std::vector<std::string> fault;
        int copies;  // frames the station sends to each request
        bool acknowledged;
        bool counters;
    };
    const Case cases[] = {
        {{"--zdp-stale"}, 2, true, true},
        {{"--zdp-error", "0"}, 1, true, false},
        {{"--zdp-error", "5"}, 1, false, false},
        {{"--zdp-drop", "1"}, 0, false, false},
    };
    const std::string statistics = "\nREPORT_STATS command started -";
    for (const Case& c : cases) {
        const std::string name = c.fault[0];
        const std::string capture = (directory / "frames.pcap").string();
        std::vector<std::string> options = {"--node", NODE_B, "--capture", capture};
        options.insert(options.end(), c.fault.begin(), c.fault.end());
        DevsimProcess devsim(options);
        ASSERT_TRUE(devsim.ready()) << devsim.output();
        const std::string station = NODE_B + std::string(c.acknowledged ? " 3000" : "") + "\n";
        ProgramRun run = hostlink("ENABLE_CERT," + station + "REPORT_STATS," + station, {"-d", "2", "-c"});
        devsim.stop();
        EXPECT_EQ(run.status, 0) << name << "\n" << run.output;
        const char* enabled = c.acknowledged ? "ENABLE CERT command started : OK\n"
                                             : "ENABLE CERT command started :Failure -  Failed to receive ACK \n";
        EXPECT_NE(run.output.find(enabled), std::string::npos) << name << "\n" << run.output;
        const size_t reported = run.output.find(statistics);
        ASSERT_NE(reported, std::string::npos) << name << "\n" << run.output;
        const std::string shown = run.output.substr(reported + statistics.size());
        if (!c.acknowledged) {
            EXPECT_EQ(shown, "Failure -  Failed to receive ACK \n") << name;
        } else {
            ASSERT_EQ(shown.rfind("UNK!", 0), 0u) << name << "\n" << run.output;
            EXPECT_EQ(shown.size() > 4 && std::isdigit(static_cast<unsigned char>(shown[4])), c.counters)
                << name << ": " << shown;
        }

        // The station's frames on the wire: to each request, `copies` of
        // them, a stale one first.
        std::vector<int> sequences, expected;
        const uint8_t node[6] = {0x02, 0, 0, 0, 0, 0x0b};
        for (const auto& frame : captured_frames(capture)) {
            if (frame.size() < 26 || frame[14] != 0x80 || frame[15] != 0x02) continue;
            const int sequence = frame[24] << 8 | frame[25];
            if (std::memcmp(frame.data(), node, 6) == 0) {
                if (c.copies == 2) expected.push_back((sequence + 0xFFFF) & 0xFFFF);
                if (c.copies >= 1) expected.push_back(sequence);
            } else if (std::memcmp(frame.data() + 6, node, 6) == 0) {
                sequences.push_back(sequence);
            }
        }
        EXPECT_EQ(expected.size(), 2u * c.copies) << name << ": two requests";
        EXPECT_EQ(sequences, expected) << name;
    }
}

TEST_F(ZdpEndToEnd, LateAcknowledgementsAreNeverTakenAsMemoryReplies) {
    // Memory replies 20 ms late, acknowledgements 50 ms: the first one comes
    // while the third read waits for its reply, the second during the pause.
    DevsimProcess devsim({"--node", NODE_B, "--delay-ms", "20", "--zdp-late", "30"});
    ASSERT_TRUE(devsim.ready()) << devsim.output();
    const std::string enable = std::string("ENABLE_CERT,") + NODE_B + " 0\n";
    ProgramRun run = hostlink("W,1000,11111111\nW,1004,22222222\nW,1008,33333333\nW,100C,44444444\n" + enable +
                                  "R,1000\nR,1004\nR,1008\nR,100C\n" + enable +
                                  "SLEEP,200\nR,1000\nR,1004\nGET_STATIONS," + DEVICE + "\n",
                              {"-d", "3"});
    devsim.stop();
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(count_of(run.output, "\nR,0x"), 6u) << run.output;
    for (const char* read : {"R,0x001000:0x11111111\n", "R,0x001004:0x22222222\n"})
        EXPECT_EQ(count_of(run.output, read), 2u) << read << "\n" << run.output;
    for (const char* read : {"R,0x001008:0x33333333\n", "R,0x00100c:0x44444444\n"})
        EXPECT_EQ(count_of(run.output, read), 1u) << read << "\n" << run.output;
    EXPECT_NE(run.output.find("Dropped 1 stale frame(s) before the request\nR,0x001000"), std::string::npos)
        << run.output;
    EXPECT_NE(run.output.find("02:00:00:00:00:0b\n"), std::string::npos) << run.output;
}

}  // namespace
