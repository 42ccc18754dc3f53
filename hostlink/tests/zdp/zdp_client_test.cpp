#include "zdp_fixture.h"

namespace {

class ZdpClientTest : public ZdpTest {};

TEST_F(ZdpClientTest, RequestsWithoutSegmentsArePaddedTo60BytesWithLength10) {
    struct Case {
        ZdkStatus (ZdpClient::*send)(const uint8_t*);
        uint8_t opcode;
    };
    const Case cases[] = {{&ZdpClient::send_enable_cert, 0x08},
                          {&ZdpClient::send_disable_cert, 0x09},
                          {&ZdpClient::send_report_stats, 0x17},
                          {&ZdpClient::send_reset_stats, 0x19}};
    for (const Case& c : cases) {
        link.sent.clear();
        ASSERT_EQ((zdp.*c.send)(NODE_A), ZDK_SUCCESS);
        ASSERT_EQ(link.sent.size(), 1u);
        const Frame& frame = link.sent[0];
        ASSERT_EQ(frame.size(), 60u);
        EXPECT_EQ(0, std::memcmp(frame.data(), NODE_A, 6));
        EXPECT_EQ(0, std::memcmp(frame.data() + 6, PC_MAC, 6));
        EXPECT_EQ(frame[12], 0x88);
        EXPECT_EQ(frame[13], 0x6C);
        EXPECT_EQ(frame[14], 0x80);
        EXPECT_EQ(frame[15], 0x02);
        EXPECT_EQ(be16(frame, 16), 10);
        EXPECT_EQ(frame[19], c.opcode);
        for (size_t i = 26; i < 60; ++i) EXPECT_EQ(frame[i], 0) << "byte " << i;
    }
}

TEST_F(ZdpClientTest, ConfigNodeCarriesOneByteSegmentIn36Bytes) {
    uint16_t settings[8] = {0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 300};
    ASSERT_EQ(zdp.send_config_node(NODE_A, settings), ZDK_SUCCESS);
    const Frame& frame = link.sent.at(0);
    ASSERT_EQ(frame.size(), 36u);
    EXPECT_EQ(be16(frame, 16), 18);
    EXPECT_EQ(frame[19], 0x10);
    const Frame segment(frame.begin() + 26, frame.end());
    EXPECT_EQ(segment, (Frame{0x00, 0x22, 0x00, 0x01, 44, 0, 0, 0, 0, 0}));
}

TEST_F(ZdpClientTest, ConfigNodeWithoutAnySettingIsNotSent) {
    uint16_t settings[8];
    for (auto& s : settings) s = 0xFFFF;
    EXPECT_EQ(zdp.send_config_node(NODE_A, settings), ZDK_UNSUCCESSFUL);
    EXPECT_TRUE(link.sent.empty());
    EXPECT_EQ(zdp.last_sequence(), 0);
}

TEST_F(ZdpClientTest, ConfigSendSegmentsInOrderWithBigEndianValues) {
    ZdpSendConfig config;
    config.dgen_type = 2;
    config.dgen_data = 0x11223344;
    config.length = 0x0102;
    std::memcpy(config.sa, NODE_A, 6);
    config.destination_count = 1;
    std::memcpy(config.destinations[0], NODE_B, 6);
    config.npkts = 1000;
    ASSERT_EQ(zdp.send_config_send(NODE_A, config), ZDK_SUCCESS);
    const Frame& frame = link.sent.at(0);
    const Frame expected_segments = {
        0x00, 0x84, 0x00, 0x01, 0x02, 0, 0, 0,                          // dgen_type
        0x00, 0x85, 0x00, 0x04, 0x11, 0x22, 0x33, 0x44,                 // dgen_data
        0x00, 0x86, 0x00, 0x02, 0x01, 0x02, 0, 0,                       // length
        0x00, 0x81, 0x00, 0x06, 2, 0, 0, 0, 0, 7, 0, 0,                 // SA: 12 bytes
        0x00, 0x83, 0x00, 0x06, 2, 0, 0, 0, 0, 8, 0, 0,                 // DA
        0x00, 0x87, 0x00, 0x04, 0x00, 0x00, 0x03, 0xE8,                 // npkts
        0x00, 0x88, 0x00, 0x02, 0x00, 0x00, 0, 0,                       // burst_int
        0x00, 0x89, 0x00, 0x02, 0x00, 0x01, 0, 0,                       // burst_npkts
        0x00, 0x8A, 0x00, 0x01, 0x01, 0, 0, 0,                          // numacks
        0x00, 0x8B, 0x00, 0x01, 0xFF, 0, 0, 0,                          // txpe_test
        0x00, 0x8C, 0x00, 0x01, 0xFF, 0, 0, 0,                          // txpri_test
        0x00, 0x00};                                                    // end marker
    EXPECT_EQ(Frame(frame.begin() + 26, frame.end()), expected_segments);
    EXPECT_EQ(be16(frame, 16), 10 + expected_segments.size() - 2);
    EXPECT_EQ(config.transfer_id, 1);
    EXPECT_EQ(sequence_of(frame), 1);
}

TEST_F(ZdpClientTest, ConfigRecvAndStartSendLayouts) {
    ZdpRecvConfig receive;
    receive.dgen_type = 1;
    receive.destination_count = 1;
    std::memcpy(receive.destinations[0], NODE_B, 6);
    ASSERT_EQ(zdp.send_config_recv(NODE_B, receive), ZDK_SUCCESS);
    EXPECT_EQ(link.sent.at(0).size(), 28u + 8 + 8 + 8 + 12 + 12);
    EXPECT_EQ(receive.transfer_id, 1);

    uint16_t ids[2] = {0x0102, 0x0304};
    ASSERT_EQ(zdp.send_start_send(NODE_A, ids, 2), ZDK_SUCCESS);
    ASSERT_EQ(zdp.send_stop_send(NODE_A, ids, 1), ZDK_SUCCESS);
    const Frame& start = link.sent.at(1);
    EXPECT_EQ(start[19], 0x12);
    EXPECT_EQ(Frame(start.begin() + 26, start.end()),
              (Frame{0, 5, 0, 2, 1, 2, 0, 0, 0, 5, 0, 2, 3, 4, 0, 0, 0, 0}));
    EXPECT_EQ(link.sent.at(2)[19], 0x13);
    EXPECT_EQ(link.sent.at(2).size(), 36u);
}

TEST_F(ZdpClientTest, DestinationCountOutsideTheRecordIsRefused) {
    ZdpSendConfig config;
    for (int count : {-1, ZDP_MAX_DESTINATIONS + 1}) {
        config.destination_count = count;
        EXPECT_EQ(zdp.send_config_send(NODE_A, config), ZDK_UNSUCCESSFUL);
    }
    EXPECT_TRUE(link.sent.empty());
}

TEST_F(ZdpClientTest, SequenceStartsAtOneAndWrapsToZero) {
    ASSERT_EQ(zdp.send_report_stats(NODE_A), ZDK_SUCCESS);
    EXPECT_EQ(sequence_of(link.sent.back()), 1);
    for (int i = 2; i <= 65535; ++i) zdp.send_report_stats(NODE_A);
    EXPECT_EQ(sequence_of(link.sent.back()), 65535);
    zdp.send_report_stats(NODE_A);
    EXPECT_EQ(sequence_of(link.sent.back()), 0);
    zdp.send_report_stats(NODE_A);
    EXPECT_EQ(sequence_of(link.sent.back()), 1);
}

TEST_F(ZdpClientTest, EnableCertWidensFilterOncePerNodeAndRefusesThe51st) {
    ASSERT_EQ(zdp.send_enable_cert(NODE_A), ZDK_SUCCESS);
    ASSERT_EQ(zdp.send_enable_cert(NODE_A), ZDK_SUCCESS);
    ASSERT_EQ(link.filters.size(), 1u);
    EXPECT_EQ(link.filters[0], "ether dst 02:00:00:00:00:aa and ether proto 0x886c");
    for (int i = 1; i < ZDP_MAX_NODES; ++i) {
        uint8_t node[6] = {0x02, 0x10, 0, 0, static_cast<uint8_t>(i >> 8), static_cast<uint8_t>(i)};
        ASSERT_EQ(zdp.send_enable_cert(node), ZDK_SUCCESS) << i;
    }
    EXPECT_EQ(zdp.registered_node_count(), 50);
    size_t sent_before = link.sent.size();
    uint16_t sequence_before = zdp.last_sequence();
    uint8_t extra[6] = {0x02, 0x20, 0, 0, 0, 1};
    EXPECT_EQ(zdp.send_enable_cert(extra), ZDK_UNSUCCESSFUL);
    EXPECT_EQ(link.sent.size(), sent_before);
    EXPECT_EQ(zdp.last_sequence(), sequence_before);
    // Nodes already known still work.
    EXPECT_EQ(zdp.send_enable_cert(NODE_A), ZDK_SUCCESS);
    EXPECT_EQ(link.filters.size(), 50u);
}

TEST_F(ZdpClientTest, LinkFailuresGiveTheirStatus) {
    link.fail_sends = true;
    EXPECT_EQ(zdp.send_enable_cert(NODE_A), ZDK_SEND_FAILED);
    link.open = false;
    EXPECT_EQ(zdp.send_disable_cert(NODE_A), ZDK_INVALID_STATE);
    ZdpClient unbound;
    EXPECT_EQ(unbound.send_report_stats(NODE_A), ZDK_INVALID_STATE);
    EXPECT_EQ(unbound.init(nullptr), ZDK_INVALID_PARAMETER);
    EXPECT_EQ(unbound.init(&link), ZDK_INVALID_STATE);
}

TEST_F(ZdpClientTest, PollReplyMatchesBySequenceNumberOnly) {
    const uint8_t stranger[6] = {0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F};
    struct Case {
        const char* name;
        Frame reply;
        ZdkStatus expected;
    };
    ASSERT_EQ(zdp.send_report_stats(NODE_A), ZDK_SUCCESS);
    const uint16_t seq = zdp.last_sequence();
    const Case cases[] = {
        {"OK from a foreign source", zdp_reply(0, seq, {}, stranger), ZDK_SUCCESS},
        {"OK with another sequence", zdp_reply(0, seq + 1), ZDP_REPLY_WRONG_SEQUENCE},
        {"ERROR code 0", zdp_reply(1, seq, {0, 1, 0, 1, 0, 0, 0, 0}), ZDK_SUCCESS},
        {"ERROR code 5", zdp_reply(1, seq, {0, 1, 0, 1, 5, 0, 0, 0}), 5},
        {"ERROR without segment", zdp_reply(1, seq), ZDP_REPLY_ERROR_NO_CODE},
        {"ERROR with another segment", zdp_reply(1, seq, {0, 2, 0, 1, 0, 0, 0, 0}), ZDP_REPLY_ERROR_NO_CODE},
        {"other opcode", zdp_reply(0x17, seq), ZDP_REPLY_NOT_OK},
        {"runt frame", Frame(20, 0), ZDP_REPLY_WRONG_SEQUENCE},
    };
    for (const Case& c : cases) {
        link.replies.push_back(c.reply);
        const uint8_t* frame = nullptr;
        int length = 0;
        uint8_t opcode = 0xEE;
        EXPECT_EQ(zdp.poll_reply(&frame, &length, &opcode, 5), c.expected) << c.name;
        EXPECT_TRUE(link.replies.empty()) << c.name << ": the frame is consumed";
    }
}

TEST_F(ZdpClientTest, PollReplyWithoutFramesSleepsPerAttemptAndGivesLinkStatus) {
    zdp.send_report_stats(NODE_A);
    const uint8_t* frame = nullptr;
    int length = 0;
    uint8_t opcode = 0;
    EXPECT_EQ(zdp.poll_reply(&frame, &length, &opcode, 5), ZDK_RECEIVE_PACKET_FAILED);
    EXPECT_EQ(link.receive_calls, 5);
    EXPECT_EQ(pacing.slept_ms, 500);
    link.open = false;
    EXPECT_EQ(zdp.poll_reply(&frame, &length, &opcode, 1), ZDK_NO_CAPTURE_HANDLE);
}

TEST(ZdpOpcodeName, TableAndModulo256) {
    EXPECT_STREQ(ZdpClient::opcode_name(0x00), "ZDP_OPCODE_OK");
    EXPECT_STREQ(ZdpClient::opcode_name(0x19), "ZDP_OPCODE_RESETSTATS");
    EXPECT_STREQ(ZdpClient::opcode_name(0x117), "ZDP_OPCODE_REPORTSTATS");
    EXPECT_STREQ(ZdpClient::opcode_name(0x30), "");
    EXPECT_STREQ(ZdpClient::opcode_name(0x40), "ZDP_OPCODE_VENDOR");
    EXPECT_STREQ(ZdpClient::opcode_name(0x41), "UNKOWN");
}

}  // namespace
