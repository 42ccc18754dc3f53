#include "output_capture.h"
#include "zdp/zdp_commands.h"
#include "zdp_fixture.h"

namespace {

class ConfigNodeTest : public ZdpTest {};

TEST_F(ConfigNodeTest, EndLineAloneSendsNothing) {
    std::FILE* script = script_file("CONFIG_NODE_END\nW,0,0\n");
    EXPECT_EQ(config_node_command(zdp, script, "02:00:00:00:00:07\n"), "");
    EXPECT_TRUE(link.sent.empty());
    char rest[32];
    ASSERT_NE(std::fgets(rest, sizeof rest, script), nullptr);
    EXPECT_STREQ(rest, "W,0,0\n");
}

TEST_F(ConfigNodeTest, EachLineSendsItsOwnSegment) {
    acknowledge_everything();
    std::FILE* script = script_file(
        "txpri=5\n"
        "\n"
        "larq 1\n"
        "csahpnamode = 2\n"
        "csa=300\n"
        "CONFIG_NODE_END trailing words\n");
    EXPECT_EQ(config_node_command(zdp, script, "02:00:00:00:00:07 2000\n"), "");
    ASSERT_EQ(link.sent.size(), 4u);
    const struct {
        uint16_t type;
        uint8_t value;
    } expected[] = {{0x0011, 5}, {0x0020, 1}, {0x0022, 2}, {0x0021, 44}};
    for (size_t i = 0; i < 4; ++i) {
        const Frame& frame = link.sent[i];
        ASSERT_EQ(frame.size(), 36u);
        EXPECT_EQ(0, std::memcmp(frame.data(), NODE_A, 6));
        EXPECT_EQ(be16(frame, 26), expected[i].type);
        EXPECT_EQ(frame[30], expected[i].value);
    }
}

TEST_F(ConfigNodeTest, PrintsLabelsAndUnknownKeywords) {
    acknowledge_everything();
    debug_level = 2;
    std::FILE* script = script_file("csa=300\nspeed=3\nCONFIG_NODE_END\n");
    capture_stdout();
    EXPECT_EQ(config_node_command(zdp, script, "02:00:00:00:00:07\n"), "");
    EXPECT_EQ(captured_stdout(),
              "CONFIG_NODE command started :\n"
              "   sending CSA segment : 300 OK\n"
              "Parsing Error :unknown parameter : speed\n");
    EXPECT_EQ(link.sent.size(), 1u);
}

TEST_F(ConfigNodeTest, ZeroTimeoutFailsEveryLineWithoutWaiting) {
    acknowledge_everything();
    std::FILE* script = script_file("txpe=1\ntxmode=2\nCONFIG_NODE_END\n");
    capture_stdout();
    EXPECT_EQ(config_node_command(zdp, script, "02:00:00:00:00:07 0\n"), "");
    EXPECT_EQ(captured_stdout(),
              "Failure -  Failed to receive ACK\nFailure -  Failed to receive ACK\n");
    EXPECT_EQ(link.sent.size(), 2u);
    EXPECT_EQ(link.receive_calls, 0);
}

TEST_F(ConfigNodeTest, StopOnFailureReturnsTheFirstFailure) {
    stop_on_failure = 1;
    std::FILE* script = script_file("txpe=1\ntxmode=2\nCONFIG_NODE_END\n");
    EXPECT_EQ(config_node_command(zdp, script, "02:00:00:00:00:07 0\n"), " Failed to receive ACK\n");
    EXPECT_EQ(link.sent.size(), 1u);
}

TEST_F(ConfigNodeTest, NotSetValueCannotBeSent) {
    std::FILE* script = script_file("txpe=-1\ntxpri=65535\nCONFIG_NODE_END\n");
    capture_stdout();
    EXPECT_EQ(config_node_command(zdp, script, "02:00:00:00:00:07\n"), "");
    EXPECT_EQ(captured_stdout(),
              "Failure - failure at ConfigNode command\nFailure - failure at ConfigNode command\n");
    EXPECT_TRUE(link.sent.empty());
}

TEST_F(ConfigNodeTest, EndOfFileInsideTheBlockIsAFailure) {
    acknowledge_everything();
    std::FILE* script = script_file("txpe=1\n");
    EXPECT_EQ(config_node_command(zdp, script, "02:00:00:00:00:07\n"), "failure : missing CONFIG_NODE_END\n");
}

TEST_F(ConfigNodeTest, WindowsLineEndsEndTheBlock) {
    acknowledge_everything();
    std::FILE* script = script_file("txpri=3\r\nCONFIG_NODE_END\r\n");
    EXPECT_EQ(config_node_command(zdp, script, "02:00:00:00:00:07\r\n"), "");
    ASSERT_EQ(link.sent.size(), 1u);
    EXPECT_EQ(link.sent[0][30], 3);
}

}  // namespace
