#include <gtest/gtest.h>

#include <ostream>

#include <string>

#include "fake_device.h"
#include "hostif/host_interface.h"
#include "output_capture.h"

namespace {

class HostInterface : public HostifTest {
protected:
    // The first request sent gets `reply`; every later one gets nothing.
    void answer_first_request_with(const ScriptedLink::Frame& reply) {
        link.responder = [reply, answered = false](const ScriptedLink::Frame&,
                                                   std::deque<ScriptedLink::Frame>& replies) mutable {
            if (!answered) replies.push_back(reply);
            answered = true;
        };
    }
};

TEST_F(HostInterface, ReadOfFourBytesSendsMinimumFrame) {
    device.set_word(0x1234, 0xCAFEF00D);
    uint32_t value = 0;
    ASSERT_EQ(read_word(link, 0x1234, &value), 0);
    EXPECT_EQ(value, 0xCAFEF00Du);
    ASSERT_EQ(link.sent.size(), 1u);
    const auto& f = link.sent[0];
    EXPECT_EQ(f.size(), 64u);
    EXPECT_EQ(f[16], 0x10);
    EXPECT_EQ(f[17], 0x00);
    EXPECT_EQ(f[23], OPCODE_READ_MEMORY);
    EXPECT_EQ(frame_address(f), 0x1234u);
    EXPECT_EQ(ScriptedLink::Frame(f.begin(), f.begin() + 6), ScriptedLink::Frame(device_mac, device_mac + 6));
    EXPECT_EQ(ScriptedLink::Frame(f.begin() + 6, f.begin() + 12), ScriptedLink::Frame(pc_mac, pc_mac + 6));
    EXPECT_EQ(f[12], 0x88);
    EXPECT_EQ(f[13], 0x6C);
    EXPECT_EQ(f[14], 0x80);
    EXPECT_EQ(f[15], 0x01);
}

TEST_F(HostInterface, WriteOf256BytesSendsWholeBlock) {
    for (int i = 0; i < 256; ++i) message_buffer[32 + i] = uint8_t(i);
    ASSERT_EQ(write_block(link, 0x2000, 256, 0), 256);
    ASSERT_EQ(link.sent.size(), 1u);
    const auto& f = link.sent[0];
    EXPECT_EQ(f.size(), 288u);
    EXPECT_EQ(f[16], 0x0C);
    EXPECT_EQ(f[17], 0x01);
    EXPECT_EQ(f[23], OPCODE_WRITE_MEMORY);
    EXPECT_EQ(device.bytes(0x2000 + 250, 6), (std::vector<uint8_t>{250, 251, 252, 253, 254, 255}));
}

TEST_F(HostInterface, SilentDeviceGetsFiveIdenticalWritesQuietly) {
    device.silent = true;
    put_le32(message_buffer + 32, 0x01020304);
    capture_stdout();
    EXPECT_EQ(write_block(link, 0x40, 4, 0), 0);
    EXPECT_EQ(captured_stdout(), "");
    ASSERT_EQ(link.sent.size(), 5u);
    for (const auto& f : link.sent) EXPECT_EQ(f, link.sent[0]);
    // Each send listens for 100 ms.
    EXPECT_EQ(link.sent_at_us, (std::vector<int64_t>{0, 100000, 200000, 300000, 400000}));
    EXPECT_EQ(ScriptedLink::now_us, 500000);
    EXPECT_EQ(write_word(link, 0x40, 1), -1);
}

TEST_F(HostInterface, FailedSendIsReportedOnce) {
    link.fail_sends = true;
    capture_stdout();
    EXPECT_EQ(write_block(link, 0x40, 4, 0), 0);
    EXPECT_EQ(captured_stdout(), "error in sendto, errno=268\nERROR: Failed to send packet\n");
}

TEST_F(HostInterface, TemplateFollowsTheDeviceReplyHeader) {
    device.reply_bytes_18 = std::array<uint8_t, 5>{0x11, 0x22, 0x33, 0x44, 0x55};
    uint32_t value;
    ASSERT_EQ(read_word(link, 0, &value), 0);
    ASSERT_EQ(write_word(link, 4, 9), 0);
    const auto& first = link.sent[0];
    const auto& second = link.sent[1];
    EXPECT_EQ(ScriptedLink::Frame(first.begin() + 18, first.begin() + 23),
              (ScriptedLink::Frame{0x00, 0x0A, 0x3F, 0x71, 0x0A}));
    EXPECT_EQ(ScriptedLink::Frame(second.begin() + 18, second.begin() + 23),
              (ScriptedLink::Frame{0x11, 0x22, 0x33, 0x44, 0x55}));
}

struct ReplyCase {
    const char* name;
    uint8_t opcode;  // of the 8-byte request
    int frame_size;
    int length_field;
    int expected;  // read_block or write_block (…, 8, …) result
    size_t sends;
    const char* message;
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const ReplyCase& c, std::ostream* os) { *os << c.name; }

class MalformedReply : public HostInterface, public testing::WithParamInterface<ReplyCase> {};

// A reply must fit its request: a read reply holds exactly what was asked, a
// write reply reports at most what was sent. Anything else is stale: the
// request is sent again, and with no answer to it the result is 0.
TEST_P(MalformedReply, OnlyAReplyThatFitsTheRequestIsTaken) {
    const ReplyCase& c = GetParam();
    ScriptedLink::Frame reply(c.frame_size, 0);
    if (c.frame_size >= 18) {
        reply[14] = 0x80;
        reply[15] = 0x01;
        reply[16] = uint8_t(c.length_field);
        reply[17] = uint8_t(c.length_field >> 8);
    }
    answer_first_request_with(reply);
    capture_stdout();
    if (c.opcode == OPCODE_READ_MEMORY) {
        EXPECT_EQ(read_block(link, 0, 8, 0), c.expected);
    } else {
        EXPECT_EQ(write_block(link, 0, 8, 0), c.expected);
    }
    EXPECT_EQ(captured_stdout(), c.message);
    EXPECT_EQ(link.sent.size(), c.sends);
}

INSTANTIATE_TEST_SUITE_P(
    Replies, MalformedReply,
    testing::Values(ReplyCase{"read_exact", OPCODE_READ_MEMORY, 60, 20, 8, 1, ""},
                    ReplyCase{"read_fewer_bytes_than_asked", OPCODE_READ_MEMORY, 60, 16, 0, 5, ""},
                    ReplyCase{"read_length_beyond_request", OPCODE_READ_MEMORY, 600, 512, 0, 5, ""},
                    ReplyCase{"read_length_beyond_frame", OPCODE_READ_MEMORY, 36, 20, 0, 5, ""},
                    ReplyCase{"read_length_below_header", OPCODE_READ_MEMORY, 60, 3, 0, 5, ""},
                    ReplyCase{"read_header_only", OPCODE_READ_MEMORY, 32, 20, 0, 5, ""},
                    ReplyCase{"read_too_short", OPCODE_READ_MEMORY, 20, 0, 0, 5, "ERROR: Packet length is too sort 20\n"},
                    ReplyCase{"read_too_long", OPCODE_READ_MEMORY, 1600, 20, 0, 5, "ERROR: Buffer is too short pkt 1528 recv 1600\n"},
                    ReplyCase{"write_all", OPCODE_WRITE_MEMORY, 60, 20, 8, 1, ""},
                    ReplyCase{"write_short", OPCODE_WRITE_MEMORY, 60, 14, 2, 1, ""},
                    ReplyCase{"write_nothing", OPCODE_WRITE_MEMORY, 60, 12, 0, 1, ""},
                    ReplyCase{"write_more_than_sent", OPCODE_WRITE_MEMORY, 60, 21, 0, 5, ""},
                    ReplyCase{"write_length_below_header", OPCODE_WRITE_MEMORY, 60, 11, 0, 5, ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(HostInterface, ShortWordWriteIsAFailure) {
    device.short_write = 2;
    EXPECT_EQ(write_word(link, 0x100, 0xFFFFFFFF), -1);
}

TEST_F(HostInterface, WaitForSilentDeviceIsBoundedAndDrains) {
    device.silent = true;
    uint32_t value;
    EXPECT_EQ(wait_for_device(link, 0, 4, 60, &value, 5), 0);
    EXPECT_EQ(link.sent.size(), 120u);
    EXPECT_EQ(CountedPauses::count, 120 * 5);
    // Each attempt: 1 + 5 passes of 11 capture calls; then one empty drain call.
    EXPECT_EQ(link.receive_calls, 120 * 6 * 11 + 11);
}

TEST_F(HostInterface, WaitWithoutTimeSendsNothing) {
    uint32_t value;
    EXPECT_EQ(wait_for_device(link, 0, 4, 0, &value, 5), 0);
    EXPECT_EQ(wait_for_device(link, 0, 4, 10, &value, 0), 0);
    EXPECT_TRUE(link.sent.empty());
}

TEST_F(HostInterface, LateAnswerEndsPollAndLeavesNoStaleFrames) {
    link.responder = nullptr;
    int sends = 0;
    link.responder = [&](const ScriptedLink::Frame& sent, std::deque<ScriptedLink::Frame>& replies) {
        if (++sends < 3) return;
        ScriptedLink::Frame reply(60, 0);
        std::memcpy(reply.data() + 12, sent.data() + 12, 20);
        put_le32(reply.data() + 32, 77);
        replies.push_back(reply);
        replies.push_back(reply);  // a second, stale copy
    };
    uint32_t value = 0;
    EXPECT_EQ(wait_for_device(link, 0, 4, 10, &value, 5), 4);
    EXPECT_EQ(value, 77u);
    EXPECT_TRUE(link.replies.empty());
}

TEST_F(HostInterface, PollPrintsADotEveryTwentyPasses) {
    device.silent = true;
    uint32_t value;
    capture_stdout();
    EXPECT_EQ(poll_word(link, 0x8824, 4, 45, &value), 0);
    EXPECT_EQ(captured_stdout(), "..");
    EXPECT_EQ(link.sent.size(), 1u);
}

TEST_F(HostInterface, RunCodeAndActivateAreHeaderOnlyRequests) {
    run_code(link, 0x30000);
    EXPECT_EQ(activate_device(link), 4);
    ASSERT_EQ(link.sent.size(), 3u);
    EXPECT_EQ(frame_opcode(link.sent[0]), OPCODE_RUN_CODE);
    EXPECT_EQ(frame_address(link.sent[0]), 0x30000u);
    EXPECT_EQ(frame_length_field(link.sent[0]), 12);
    EXPECT_EQ(frame_opcode(link.sent[1]), OPCODE_ACTIVATE);
    EXPECT_EQ(frame_address(link.sent[1]), 0x30000u);  // left as the template holds it
    EXPECT_EQ(link.sent[1].size(), 64u);
    EXPECT_EQ(frame_opcode(link.sent[2]), OPCODE_READ_MEMORY);  // the wait for the device
}

TEST_F(HostInterface, ResetInBootModeTwoSendsNoReset) {
    device.set_word(BOOT_MODE_ADDRESS, 2);
    EXPECT_EQ(reset_device(link, 0), 1);
    ASSERT_EQ(link.sent.size(), 1u);
    EXPECT_EQ(frame_opcode(link.sent[0]), OPCODE_READ_MEMORY);
}

struct ResetCase {
    int mode;
    uint32_t boot_mode;
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const ResetCase& c, std::ostream* os) { *os << "mode_" << c.mode << "_boot_" << c.boot_mode; }

class ResetMode : public HostInterface, public testing::WithParamInterface<ResetCase> {};

TEST_P(ResetMode, WritesBootModeThenResetsAndWaits) {
    device.set_word(BOOT_MODE_ADDRESS, 4);
    device.set_word(RESET_CLEAR_ADDRESS_1, 0xFF);
    EXPECT_EQ(reset_device(link, GetParam().mode), 1);
    EXPECT_EQ(device.word(BOOT_MODE_ADDRESS), GetParam().boot_mode);
    EXPECT_EQ(device.word(RESET_CLEAR_ADDRESS_1), 0u);
    auto writes = sent_with(OPCODE_WRITE_MEMORY);
    ASSERT_EQ(writes.size(), 4u);
    EXPECT_EQ(frame_address(writes[3]), RESET_CONTROL_ADDRESS);
    EXPECT_EQ(frame_length_field(writes[3]), 16);
    EXPECT_EQ(frame_word(writes[3]), 6u);
    EXPECT_EQ(CountedPauses::total_ms, 30);
}

INSTANTIATE_TEST_SUITE_P(Modes, ResetMode,
                         testing::Values(ResetCase{0, 4}, ResetCase{1, 3}, ResetCase{2, 1}));

TEST_F(HostInterface, ResetWithUnknownModeFailsWithoutResetting) {
    EXPECT_EQ(reset_device(link, 7), 0);
    EXPECT_TRUE(std::none_of(link.sent.begin(), link.sent.end(), [](const auto& f) {
        return frame_address(f) == RESET_CONTROL_ADDRESS || frame_address(f) == BOOT_MODE_ADDRESS;
    }));
}

struct ResetFailure {
    int debug;
    const char* message;
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const ResetFailure& c, std::ostream* os) { *os << "debug_" << c.debug; }

class ResetMessages : public HostInterface, public testing::WithParamInterface<ResetFailure> {};

TEST_P(ResetMessages, PrintOnlyFromDebugLevelOne) {
    device.silent = true;
    debug_level = GetParam().debug;
    capture_stdout();
    EXPECT_EQ(reset_device(link, 1), 0);
    EXPECT_EQ(captured_stdout(), GetParam().message);
}

// Level 3 also shows the five reply windows of the unanswered write.
INSTANTIATE_TEST_SUITE_P(Levels, ResetMessages,
                         testing::Values(ResetFailure{0, ""}, ResetFailure{1, "Failed to reset EVM (1)\n"},
                                         ResetFailure{3, "No reply within 100 ms to send 1 of 5\n"
                                                         "No reply within 100 ms to send 2 of 5\n"
                                                         "No reply within 100 ms to send 3 of 5\n"
                                                         "No reply within 100 ms to send 4 of 5\n"
                                                         "No reply within 100 ms to send 5 of 5\n"
                                                         "Failed to reset EVM (1)\n"}));

TEST_F(HostInterface, ResetThatNeverComesBackFailsWithFour) {
    debug_level = 1;
    bool reset_sent = false;
    link.responder = [&](const ScriptedLink::Frame& sent, std::deque<ScriptedLink::Frame>& replies) {
        if (reset_sent) return;
        if (frame_address(sent) == RESET_CONTROL_ADDRESS) {
            reset_sent = true;
            return;
        }
        ScriptedLink::Frame reply(60, 0);
        std::memcpy(reply.data() + 12, sent.data() + 12, 20);
        replies.push_back(reply);
    };
    capture_stdout();
    EXPECT_EQ(reset_device(link, 1), 0);
    EXPECT_EQ(captured_stdout(), "Failed to reset EVM (4)\n");
}

TEST_F(HostInterface, QueryStatusNamesTheWordThatFailed) {
    uint32_t status = 0, mode = 0;
    ScriptedLink::Frame reply(60, 0);
    reply[14] = 0x80;
    reply[15] = 0x01;
    reply[16] = 16;
    answer_first_request_with(reply);
    capture_stdout();
    EXPECT_EQ(query_status(link, &status, &mode), 0);
    EXPECT_EQ(captured_stdout(), "ERROR - failed to query network mode\n");
    capture_stdout();
    EXPECT_EQ(query_status(link, &status, &mode), 0);
    EXPECT_EQ(captured_stdout(), "ERROR - failed to query link status\n");
}

const char* const DEVICE_FILTER =
    "ether dst 02:00:00:00:00:02 and ether src 0a:3f:71:00:00:01 and ether proto 0x886c";
const char* const BROADCAST_FILTER = "ether dst ff:ff:ff:ff:ff:ff and ether proto 0x886c";

TEST_F(HostInterface, QueryMacAgainstSilenceRestoresDeviceFilter) {
    device.silent = true;
    uint8_t mac[6] = {1, 2, 3, 4, 5, 6};
    EXPECT_EQ(query_device_mac(link, mac), 0);
    EXPECT_EQ(std::vector<uint8_t>(mac, mac + 6), std::vector<uint8_t>(6, 0));
    EXPECT_EQ(link.filters, (std::vector<std::string>{BROADCAST_FILTER, DEVICE_FILTER}));
    EXPECT_EQ(link.receive_calls, 22);
}

TEST_F(HostInterface, QueryMacSendsBareBroadcastAndTakesTheAnswer) {
    device.mac = {0x0A, 0x3F, 0x71, 0x12, 0x34, 0x56};
    uint8_t mac[6];
    EXPECT_EQ(query_device_mac(link, mac), 60);
    EXPECT_EQ(std::vector<uint8_t>(mac, mac + 6),
              (std::vector<uint8_t>{0x0A, 0x3F, 0x71, 0x12, 0x34, 0x56}));
    const auto& f = link.sent.at(0);
    EXPECT_EQ(f.size(), 32u);
    EXPECT_EQ(std::vector<uint8_t>(f.begin(), f.begin() + 6), std::vector<uint8_t>(6, 0xFF));
    EXPECT_EQ(f[14], 0x03);
    EXPECT_EQ(f[15], 0x00);
    EXPECT_EQ(f[19], 0x0A);  // from the header template
    EXPECT_EQ(link.filters.back(), DEVICE_FILTER);
}

TEST_F(HostInterface, QueryMacSkipsThePcsOwnFrames) {
    link.responder = nullptr;
    ScriptedLink::Frame own(60, 0), answer(60, 0);
    std::memcpy(own.data() + 6, pc_mac, 6);
    const uint8_t other[6] = {0x0A, 0, 0, 0, 0, 9};
    std::memcpy(answer.data() + 6, other, 6);
    link.replies = {own, answer};
    uint8_t mac[6];
    EXPECT_EQ(query_device_mac(link, mac), 60);
    EXPECT_EQ(mac[5], 9);
}

TEST_F(HostInterface, QueryMacFailuresStillEndWithTheDeviceFilter) {
    link.fail_filters = true;
    uint8_t mac[6];
    capture_stdout();
    EXPECT_EQ(query_device_mac(link, mac), 0);
    EXPECT_EQ(captured_stdout(),
              "\nERROR - failed to set MAC filters\n\nERROR - failed to re-set MAC filters\n");
    EXPECT_TRUE(link.sent.empty());
    link.fail_filters = false;
    link.fail_sends = true;
    capture_stdout();
    EXPECT_EQ(query_device_mac(link, mac), 0);
    EXPECT_EQ(captured_stdout(), "ERROR: error in sendto, errno=268\n");
    EXPECT_EQ(link.filters.back(), DEVICE_FILTER);
}

}  // namespace
