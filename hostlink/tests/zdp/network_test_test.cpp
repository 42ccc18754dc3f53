#include <signal.h>

#include <set>

#include "device_memory.h"
#include "output_capture.h"
#include "stop/stop_request.h"
#include "text_count.h"
#include "zdp/station_tables.h"
#include "zdp/zdp_commands.h"
#include "zdp_fixture.h"

namespace {

// A network of HomePNA nodes behind the scripted link: every ZDP request is
// acknowledged, STARTSEND with twice `numacks` acknowledgements, REPORTSTATS
// with counters of the node's role in the running pair.
class NetworkTestTest : public ZdpTest {
protected:
    void SetUp() override {
        ZdpTest::SetUp();
        link.responder = [this](const Frame& sent, std::deque<Frame>& replies) { answer(sent, replies); };
    }

    void add_stations(int count) {
        device.put_word(STATION_COUNT_ADDRESS, static_cast<uint32_t>(count) << 16);
        for (int k = 0; k < count; ++k) {
            std::vector<uint8_t> address = {2, 0, 0, 0, 1, static_cast<uint8_t>(k + 1)};
            device.put_bytes(STATION_TABLE_ADDRESS + k * STATION_ENTRY_SIZE + 20, address);
            device.put_bytes(STATION_TABLE_ADDRESS + k * STATION_ENTRY_SIZE + 26, address);
        }
    }

    void answer(const Frame& sent, std::deque<Frame>& replies) {
        if (sent.size() > 15 && sent[15] == 0x01) {
            device.answer(sent, replies);
            // Once the station list is read, the link stops sending.
            if (--reads_before_send_failure == 0) link.fail_sends = true;
            return;
        }
        uint16_t seq = sequence_of(sent);
        uint8_t node = sent[5];
        uint8_t opcode = sent[19];
        if (silent_nodes.count(node) && opcode == 0x08) return;
        if (opcode == 0x11) transmitter = node;
        if (opcode == 0x12) {
            ++start_sends;
            for (int i = 0; i < (end_acks ? 2 : 1) * numacks; ++i) replies.push_back(zdp_reply(0, seq));
            return;
        }
        if (opcode == 0x17) {
            if (node == transmitter && !transmitter_reports) return;
            Frame reply = zdp_reply(0, seq, statistics_segments(node == transmitter ? transmitter_counters(sent_packets)
                                                                                   : receiver_counters(received_packets)));
            replies.push_back(reply);
            return;
        }
        replies.push_back(zdp_reply(0, seq));
    }

    std::string run(const std::string& block, std::string* output) {
        std::FILE* script = script_file(block);
        capture_stdout();
        std::string result = test_network_command(link, zdp, script, "02:00:00:00:00:07 50\n");
        *output = captured_stdout();
        return result;
    }

    static std::vector<std::string> performed_pairs(const std::string& output) {
        std::vector<std::string> pairs;
        const std::string marker = "performing test : ";
        for (size_t at = output.find(marker); at != std::string::npos; at = output.find(marker, at + 1)) {
            pairs.push_back(output.substr(at + marker.size(), output.find('\n', at) - at - marker.size()));
        }
        return pairs;
    }

    DeviceMemory device;
    std::set<uint8_t> silent_nodes;
    uint8_t transmitter = 0;
    int numacks = 1;
    bool end_acks = true;  // false: the acknowledgements of a test's end never come
    int start_sends = 0;
    int reads_before_send_failure = -1;
    uint32_t sent_packets = 1000;
    uint32_t received_packets = 990;
    bool transmitter_reports = true;
};

TEST_F(NetworkTestTest, ThreeStationsRunSixPairsInOrder) {
    add_stations(2);
    std::string output;
    EXPECT_EQ(run("npkts=1000\nlength=100\ndgen_type=1\nTEST_NETWORK_END\n", &output), "");
    EXPECT_EQ(output.substr(0, 36), "02:00:00:00:01:01\n02:00:00:00:01:02\n");
    const std::vector<std::string> expected = {
        "SA = 2 0 0 0 0 7 , DA = 2 0 0 0 1 1", "SA = 2 0 0 0 0 7 , DA = 2 0 0 0 1 2",
        "SA = 2 0 0 0 1 1 , DA = 2 0 0 0 0 7", "SA = 2 0 0 0 1 1 , DA = 2 0 0 0 1 2",
        "SA = 2 0 0 0 1 2 , DA = 2 0 0 0 0 7", "SA = 2 0 0 0 1 2 , DA = 2 0 0 0 1 1"};
    EXPECT_EQ(performed_pairs(output), expected);
    EXPECT_EQ(count_of(output, "\tPER = 1.00%  \n\n"), 6u);
    EXPECT_EQ(send_transfers.count, 6);
    EXPECT_EQ(receive_transfers.count, 6);
    // The second pair of each transmitter starts both of its transfers.
    EXPECT_EQ(start_sends, 9);
    // Three pauses of 500 ms per pair.
    EXPECT_GE(pacing.slept_ms, 6 * 1500);
}

// Where the transmitter's packet count is missing or zero no PER was
// measured: n/a in its place; more received than sent is no loss.
TEST_F(NetworkTestTest, PerWhereNothingWasMeasured) {
    add_stations(1);
    struct Case {
        const char* name;
        uint32_t sent;
        uint32_t received;
        bool transmitter_reports;
        const char* per_line;
    };
    const Case cases[] = {
        {"nothing sent", 0, 0, true, "\tPER = n/a%  \n\n"},
        {"no transmitter statistics", 1000, 990, false, "\tPER = n/a%  \n\n"},
        {"more received than sent", 1000, 1010, true, "\tPER = 0.00%  \n\n"},
    };
    for (const Case& c : cases) {
        sent_packets = c.sent;
        received_packets = c.received;
        transmitter_reports = c.transmitter_reports;
        reset_transfer_tables();
        std::string output;
        EXPECT_EQ(run("npkts=0\nTEST_NETWORK_END\n", &output), "") << c.name;
        EXPECT_EQ(count_of(output, c.per_line), 2u) << c.name << "\n" << output;
        EXPECT_EQ(count_of(output, "PER = -"), 0u) << c.name;
        EXPECT_EQ(count_of(output, "nan"), 0u) << c.name;
        EXPECT_EQ(count_of(output, "inf"), 0u) << c.name;
        EXPECT_EQ(count_of(output, "ERROR: failed to receive statistics\n"), c.transmitter_reports ? 0u : 2u) << c.name;
    }
}

TEST_F(NetworkTestTest, SingleStationRunsNoPair) {
    std::string output;
    EXPECT_EQ(run("numacks=0\nTEST_NETWORK_END\n", &output), "");
    EXPECT_EQ(output, "");
    for (const Frame& frame : link.sent) EXPECT_NE(frame[15], 0x02);
}

TEST_F(NetworkTestTest, NoAcknowledgementsAwaitedWithNumacksZero) {
    add_stations(1);
    numacks = 0;
    std::string output;
    EXPECT_EQ(run("numacks=0\nnpkts=1000\nTEST_NETWORK_END\n", &output), "");
    EXPECT_EQ(output.find("Failed to receive ACK"), std::string::npos) << output;
    EXPECT_EQ(performed_pairs(output).size(), 2u);
}

TEST_F(NetworkTestTest, MissingEnableAcknowledgementSkipsThePair) {
    add_stations(1);
    silent_nodes.insert(0x01);
    std::string output;
    EXPECT_EQ(run("TEST_NETWORK_END\n", &output), "");
    EXPECT_EQ(performed_pairs(output).size(), 2u);
    size_t first = output.find("\n\tFailed to receive ACK when enabling_cert. Aborting current test\n");
    ASSERT_NE(first, std::string::npos);
    EXPECT_NE(output.find("\n\tFailed to receive ACK when enabling_cert. Aborting current test\n", first + 1),
              std::string::npos);
    EXPECT_EQ(output.find("PER ="), std::string::npos);
    EXPECT_EQ(send_transfers.count, 0);
}

TEST_F(NetworkTestTest, FullTransferTablesStopThePairs) {
    add_stations(5);   // six stations: thirty pairs, twenty fit
    std::string output;
    EXPECT_EQ(run("TEST_NETWORK_END\n", &output), "failure : transfer table full\n");
    EXPECT_EQ(performed_pairs(output).size(), 20u);
    EXPECT_EQ(send_transfers.count, 20);
}

TEST_F(NetworkTestTest, FailuresOfTheBlockAndTheLink) {
    add_stations(1);
    std::string output;
    EXPECT_EQ(run("npkts=5\n", &output), "failure : missing TEST_NETWORK_END\n");
    for (const Frame& frame : link.sent) EXPECT_NE(frame[15], 0x02);
    reads_before_send_failure = 2;   // the count word and one station entry
    EXPECT_EQ(run("TEST_NETWORK_END\n", &output), std::string(status_text(ZDK_SEND_FAILED)));
}

// A station that never reports the end of its test holds the command in
// its wait without limit; a stop ends that wait within one pass, and the
// command returns with no further line and no further frame (no statistics,
// no DISABLECERT, no next pair).
TEST_F(NetworkTestTest, StopEndsTheUnlimitedWaitForTheTestsEnd) {
    add_stations(1);
    end_acks = false;
    debug_level = 2;
    long long slept_at_stop = -1;
    size_t sent_at_stop = 0;
    pacing.after_sleep = [&] {
        if (slept_at_stop >= 0 || pacing.slept_ms < 600'000) return;
        request_stop(SIGINT);
        slept_at_stop = pacing.slept_ms;
        sent_at_stop = link.sent.size();
    };
    std::string output;
    const std::string result = run("TEST_NETWORK_END\n", &output);
    request_stop(0);
    EXPECT_EQ(result, "");
    EXPECT_GE(slept_at_stop, 0);
    EXPECT_EQ(pacing.slept_ms, slept_at_stop);
    EXPECT_EQ(link.sent.size(), sent_at_stop);
    EXPECT_EQ(start_sends, 1);
    EXPECT_EQ(performed_pairs(output).size(), 1u);
    const std::string wait_line = "\tWaiting for 1 ACKS after the test is done:\n\t1 - ";
    ASSERT_GE(output.size(), wait_line.size());
    EXPECT_EQ(output.substr(output.size() - wait_line.size()), wait_line) << output;
}

}  // namespace
