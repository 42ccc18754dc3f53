#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "script/script_line.h"

namespace {

struct ClassifyCase {
    const char* text;
    LineKind kind;
    ScriptCommand command;
    uint32_t address;
};

TEST(ScriptLine, ClassifiesLinesAndFindsCommandsInTestOrder) {
    const ClassifyCase cases[] = {
        {"\n", LineKind::comment, ScriptCommand::UNKNOWN, 0},
        {" W,10,1\n", LineKind::comment, ScriptCommand::UNKNOWN, 0},
        {"\tW,10,1\n", LineKind::comment, ScriptCommand::UNKNOWN, 0},
        {"; note\n", LineKind::comment, ScriptCommand::UNKNOWN, 0},
        {"1,2\n", LineKind::comment, ScriptCommand::UNKNOWN, 0},
        {"\xc3\x89W,10,1\n", LineKind::comment, ScriptCommand::UNKNOWN, 0},
        {"W,zz,1\n", LineKind::bad_address, ScriptCommand::UNKNOWN, 0},
        {"W,-1,1\n", LineKind::bad_address, ScriptCommand::UNKNOWN, 0},
        {"W,,1\n", LineKind::bad_address, ScriptCommand::UNKNOWN, 0},
        {"W,100000000,1\n", LineKind::bad_address, ScriptCommand::UNKNOWN, 0},
        {"W,0010,0000ABCD\n", LineKind::command, ScriptCommand::W, 0x10},
        {"W, 0x8000zz\n", LineKind::command, ScriptCommand::W, 0x8000},
        {"W,000000000010,1\n", LineKind::command, ScriptCommand::W, 0x10},
        {"RESET,\n", LineKind::command, ScriptCommand::RESET, 0},
        {"RESET,  \r\n", LineKind::command, ScriptCommand::RESET, 0},
        {"reset,2\n", LineKind::command, ScriptCommand::RESET, 2},
        {"RESET_STATS,00:11:22:33:44:55\n", LineKind::command, ScriptCommand::RESET_STATS, 0},
        {"Reset_Stats,0\n", LineKind::command, ScriptCommand::RESET, 0},
        {"Start_Send,0\n", LineKind::command, ScriptCommand::S, 0},
        {"START_SEND,02:00:00:00:00:07\n", LineKind::command, ScriptCommand::START_SEND, 2},
        {"r,10\n", LineKind::command, ScriptCommand::UNKNOWN, 0x10},
        {"write_block_f,8000,a.bin\n", LineKind::command, ScriptCommand::WRITE_BLOCK_F, 0x8000},
        {"WRITE_BLOCK,8000,01 02\n", LineKind::command, ScriptCommand::WRITE_BLOCK, 0x8000},
        {"READ_BLOCK_F,8000,o,64\n", LineKind::command, ScriptCommand::READ_BLOCK_F, 0x8000},
        {"GET_TX_PE,0\n", LineKind::command, ScriptCommand::GET_TX_PE, 0},
        {"GET_TX_CHAN_TABLE,0\n", LineKind::command, ScriptCommand::GET_TX_CHAN_TABLE, 0},
        {"get_stations,0\n", LineKind::command, ScriptCommand::UNKNOWN, 0},
        {"STOP_RECV,0\n", LineKind::command, ScriptCommand::STOP_RECV, 0},
        {"SLEEP,010\n", LineKind::command, ScriptCommand::SLEEP, 0x10},
        {"SET_MAC,0,02:00:00:00:00:07\n", LineKind::command, ScriptCommand::SET_MAC, 0},
        {"TX_CFG,2,4,1,1000\n", LineKind::command, ScriptCommand::TX_CFG, 2},
        {"PLAY_FILE,0,x.pcap\n", LineKind::command, ScriptCommand::PLAY_FILE, 0},
    };
    for (const ClassifyCase& c : cases) {
        ScriptLine line;
        LineKind kind = classify_line(c.text, &line);
        EXPECT_EQ(kind, c.kind) << c.text;
        if (kind != LineKind::command) continue;
        EXPECT_EQ(line.command, c.command) << c.text;
        EXPECT_EQ(line.address, c.address) << c.text;
        EXPECT_EQ(line.text, c.text);
        EXPECT_STREQ(line.arguments, std::string(c.text).substr(std::string(c.text).find(',') + 1).c_str());
    }
}

TEST(ScriptLine, EveryCommandWordNamesItself) {
    for (int i = 0; i < SCRIPT_COMMAND_COUNT - 1; ++i) {
        auto command = static_cast<ScriptCommand>(i);
        std::string line = std::string(command_name(command)) + ",0\n";
        EXPECT_EQ(find_command(line.c_str()), command) << line;
    }
}

TEST(ScriptLine, HexStreamKeepsLowByteOfEachSpaceSeparatedToken) {
    struct Case {
        const char* text;
        int count;
        std::vector<uint8_t> bytes;
    };
    const Case cases[] = {
        {"01 02 0x03\n", 3, {1, 2, 3}},
        {"1ff  7\r\n", 2, {0xFF, 7}},
        {"a \n", 1, {0x0A}},
        {"\n", 0, {}},
        {" \t\n", 0, {}},
        {"01 zz 02\n", -1, {}},
        {"01,02\n", 1, {1}},
    };
    for (const Case& c : cases) {
        uint8_t out[8] = {};
        int count = parse_hex_stream(c.text, out, sizeof out);
        EXPECT_EQ(count, c.count) << c.text;
        for (int i = 0; i < count && i < int(c.bytes.size()); ++i) EXPECT_EQ(out[i], c.bytes[size_t(i)]) << c.text;
    }
    uint8_t small[2];
    EXPECT_EQ(parse_hex_stream("1 2 3\n", small, sizeof small), -1);
}

TEST(ScriptLine, MacFieldNeedsSixOctets) {
    struct Case {
        const char* text;
        bool ok;
    };
    const Case cases[] = {
        {"02:00:00:00:00:07\n", true},
        {"02-00-00-00-00-07 2000\n", true},
        {" 2:0:0:0:0:7\r\n", true},
        {"02:00:00:00:00\n", false},
        {"02:00:00:00:00:\n", false},
        {"02:00:00:00:00:7g\n", false},
        {"02:00:00:00:00:107\n", false},
        {"\n", false},
    };
    for (const Case& c : cases) {
        uint8_t mac[6] = {};
        EXPECT_EQ(parse_mac_field(c.text, mac), c.ok) << c.text;
    }
    uint8_t mac[6] = {};
    ASSERT_TRUE(parse_mac_field("0a:3F:71:00:00:7\n", mac));
    EXPECT_EQ(std::vector<uint8_t>(mac, mac + 6), (std::vector<uint8_t>{0x0A, 0x3F, 0x71, 0, 0, 7}));
}

TEST(ScriptLine, FieldReaders) {
    uint32_t value = 0;
    EXPECT_TRUE(read_hex_field("  0xFFFFFFFF\n", &value));
    EXPECT_EQ(value, 0xFFFFFFFFu);
    EXPECT_FALSE(read_hex_field("1FFFFFFFF\n", &value));
    EXPECT_FALSE(read_hex_field("\n", &value));
    EXPECT_FALSE(read_hex_field("+5\n", &value));

    int length = 0;
    EXPECT_TRUE(read_decimal_field("64\n", &length));
    EXPECT_EQ(length, 64);
    EXPECT_TRUE(read_decimal_field("0x40\n", &length));
    EXPECT_EQ(length, 0);
    EXPECT_FALSE(read_decimal_field("-5\n", &length));
    EXPECT_FALSE(read_decimal_field("99999999999\n", &length));

    EXPECT_EQ(second_token("0,capture.pcap\r\n"), "capture.pcap");
    EXPECT_EQ(second_token("0 \t capture.pcap extra\n"), "capture.pcap");
    EXPECT_EQ(second_token("0\n"), "");
}

}  // namespace
