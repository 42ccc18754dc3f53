#include <unistd.h>

#include "output_capture.h"
#include "zdp/zdp_commands.h"
#include "zdp_fixture.h"

namespace {

class SendReceiveTest : public ZdpTest {
protected:
    // Value of the segment of `type` in a request, -1 when absent; counts occurrences.
    static long long segment_value(const Frame& frame, uint16_t type, int* occurrences = nullptr) {
        long long value = -1;
        int seen = 0;
        size_t end = 16 + be16(frame, 16);
        for (size_t at = 26; at + 4 <= end;) {
            uint16_t seg_type = be16(frame, at);
            uint16_t length = be16(frame, at + 2);
            if (seg_type == type) {
                ++seen;
                value = 0;
                for (uint16_t i = 0; i < length && i < 4; ++i) value = (value << 8) | frame[at + 4 + i];
            }
            at += 4 + ((length + 3) & ~3u);
        }
        if (occurrences != nullptr) *occurrences = seen;
        return value;
    }

    std::string config_send(const std::string& block, uint32_t* acks = nullptr) {
        uint32_t ignored = 0;
        return config_send_command(zdp, script_file(block), "02:00:00:00:00:07\n", acks ? acks : &ignored);
    }
};

TEST_F(SendReceiveTest, EmptyConfigSendBlockSendsTheDefaults) {
    acknowledge_everything();
    uint32_t acks = 99;
    EXPECT_EQ(config_send("CONFIG_SEND_END\n", &acks), "");
    ASSERT_EQ(link.sent.size(), 1u);
    const Frame& frame = link.sent[0];
    EXPECT_EQ(frame[19], 0x11);
    int destinations = 0;
    EXPECT_EQ(segment_value(frame, 0x0087), 0);
    EXPECT_EQ(segment_value(frame, 0x0088), 0);
    EXPECT_EQ(segment_value(frame, 0x0089), 1);
    EXPECT_EQ(segment_value(frame, 0x008A), 1);
    EXPECT_EQ(segment_value(frame, 0x008B), 255);
    EXPECT_EQ(segment_value(frame, 0x008C), 255);
    EXPECT_EQ(segment_value(frame, 0x0084), 0);
    segment_value(frame, 0x0083, &destinations);
    EXPECT_EQ(destinations, 1);
    EXPECT_EQ(acks, 1u);
    EXPECT_EQ(send_transfers.count, 1);
}

TEST_F(SendReceiveTest, ConfigSendBlockValuesAndTable) {
    acknowledge_everything();
    uint32_t acks = 0;
    EXPECT_EQ(config_send("SA=02:00:00:00:00:07\n"
                          "DA = 02:00:00:00:00:08\n"
                          "destinations=4\n"
                          "dgen_type=257\n"
                          "dgen_data=305419896\n"
                          "length=1482\n"
                          "npkts=1000\n"
                          "numacks=2\n"
                          "txpe_test=63\n"
                          "txpri_test=7\n"
                          "colour=red\n"
                          "CONFIG_SEND_END\n",
                          &acks),
              "");
    const Frame& frame = link.sent.at(0);
    int destinations = 0;
    segment_value(frame, 0x0083, &destinations);
    EXPECT_EQ(destinations, 1);
    EXPECT_EQ(segment_value(frame, 0x0084), 1);
    EXPECT_EQ(segment_value(frame, 0x0085), 305419896);
    EXPECT_EQ(segment_value(frame, 0x0086), 1482);
    EXPECT_EQ(segment_value(frame, 0x0087), 1000);
    EXPECT_EQ(segment_value(frame, 0x008B), 63);
    EXPECT_EQ(segment_value(frame, 0x008C), 7);
    EXPECT_EQ(acks, 2u);
    ASSERT_EQ(send_transfers.count, 1);
    EXPECT_EQ(0, std::memcmp(send_transfers.entries[0].address, NODE_A, 6));
    EXPECT_EQ(send_transfers.entries[0].transfer_id, sequence_of(frame));
}

TEST_F(SendReceiveTest, AcceptedValuesAreSent) {
    acknowledge_everything();
    for (int pe : {0, 7, 9, 33, 63, 255}) {
        EXPECT_EQ(config_send("txpe_test=" + std::to_string(pe) + "\nCONFIG_SEND_END\n"), "") << pe;
    }
    for (int priority : {0, 7, 255}) {
        EXPECT_EQ(config_send("txpri_test=" + std::to_string(priority) + "\nCONFIG_SEND_END\n"), "") << priority;
    }
}

using SendReceiveDeathTest = SendReceiveTest;

TEST_F(SendReceiveDeathTest, RefusedValuesEndTheProgramWithMinusOne) {
    struct Case {
        std::string line;
        std::string message;
    };
    const Case cases[] = {
        {"dgen_type=3", "ERROR: Invalid data generator type 3 \\(choose 1 or 2\\)"},
        {"length=1483", "ERROR: Invalid length value 1483 \\(supported:0-1482\\)"},
        {"length=70000", "ERROR: Invalid length value 4464"},
        {"txpe_test=8", "ERROR: invalid PE: 8"},
        {"txpe_test=16", "ERROR: invalid PE: 16"},
        {"txpe_test=32", "ERROR: invalid PE: 32"},
        {"txpe_test=40", "ERROR: invalid PE: 40"},
        {"txpe_test=64", "ERROR: invalid PE: 64"},
        {"txpe_test=254", "ERROR: invalid PE: 254"},
        {"txpri_test=8", "ERROR: Invalid priority 8"},
    };
    for (const Case& c : cases) {
        // The message goes to standard output; send it where the death test looks.
        EXPECT_EXIT(
            {
                dup2(STDERR_FILENO, STDOUT_FILENO);
                config_send(c.line + "\nCONFIG_SEND_END\n");
            },
            testing::ExitedWithCode(255), c.message)
            << c.line;
    }
    EXPECT_TRUE(link.sent.empty());
}

TEST_F(SendReceiveTest, ConfigSendFailuresAndTableLimits) {
    EXPECT_EQ(config_send("SA=02:00:00:00:00:07 0\nCONFIG_SEND_END\n"), " Failed to receive ACK \n");
    EXPECT_EQ(send_transfers.count, 1) << "a missed acknowledgement keeps the entry";
    link.fail_sends = true;
    EXPECT_EQ(config_send("CONFIG_SEND_END\n"), std::string(status_text(ZDK_SEND_FAILED)));
    EXPECT_EQ(send_transfers.count, 1);
    link.fail_sends = false;
    EXPECT_EQ(config_send("npkts=1\n"), "failure : missing CONFIG_SEND_END\n");
    while (!send_transfers.full()) send_transfers.add(NODE_B, 1);
    size_t sent = link.sent.size();
    EXPECT_EQ(config_send("CONFIG_SEND_END\n"), "failure : transfer table full\n");
    EXPECT_EQ(link.sent.size(), sent);
}

TEST_F(SendReceiveTest, ConfigReceiveRecordsTheDestination) {
    acknowledge_everything();
    std::FILE* script = script_file("SA=02:00:00:00:00:07\nDA=02:00:00:00:00:08\nlength=70000\nCONFIG_RECEIVE_END\n");
    EXPECT_EQ(config_receive_command(zdp, script, "02:00:00:00:00:08\n"), "");
    const Frame& frame = link.sent.at(0);
    EXPECT_EQ(frame[19], 0x15);
    EXPECT_EQ(segment_value(frame, 0x0086), 4464);
    EXPECT_EQ(segment_value(frame, 0x0087), -1);
    ASSERT_EQ(receive_transfers.count, 1);
    EXPECT_EQ(0, std::memcmp(receive_transfers.entries[0].address, NODE_B, 6));
    EXPECT_EQ(config_receive_command(zdp, script_file("DA=02:00:00:00:00:08\n"), "02:00:00:00:00:08\n"),
              "failure : missing CONFIG_RECEIVE_END\n");
}

TEST_F(SendReceiveTest, StopSendAndStopRecvNeedAKnownTransmitter) {
    acknowledge_everything();
    EXPECT_EQ(stop_send_command(zdp, "02:00:00:00:00:07\n"), "failure : SA not recognised\n");
    send_transfers.add(NODE_A, 0x1234);
    send_transfers.add(NODE_A, 0x5678);
    receive_transfers.add(NODE_B, 0x9999);
    EXPECT_EQ(stop_send_command(zdp, "02:00:00:00:00:08\n"), "failure : SA not recognised\n");
    EXPECT_TRUE(link.sent.empty());
    EXPECT_EQ(stop_send_command(zdp, "02:00:00:00:00:07\n"), "");
    ASSERT_EQ(link.sent.size(), 1u);
    EXPECT_EQ(link.sent[0][19], 0x13);
    EXPECT_EQ(segment_value(link.sent[0], 0x0005), 0x1234);
    EXPECT_EQ(stop_send_command(zdp, "02:00:00:00:00:07 0\n"), " Failed to receive ACK\n");
}

TEST_F(SendReceiveTest, EnableAndDisableCert) {
    acknowledge_everything();
    debug_level = 2;
    capture_stdout();
    EXPECT_EQ(enable_cert_command(zdp, "02:00:00:00:00:07\n"), "");
    EXPECT_EQ(disable_cert_command(zdp, "02:00:00:00:00:07\n"), "");
    EXPECT_EQ(captured_stdout(),
              "ENABLE CERT command started : OK\nDISABLE_CERT command started : OK\n");
    EXPECT_EQ(link.filters.size(), 1u);
    link.responder = nullptr;
    debug_level = 0;
    EXPECT_EQ(enable_cert_command(zdp, "02:00:00:00:00:07\n"), " Failed to receive ACK \n");
    link.open = false;
    EXPECT_EQ(disable_cert_command(zdp, "02:00:00:00:00:07\n"), std::string(status_text(ZDK_INVALID_STATE)));
}

}  // namespace
