#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "options.h"

namespace {

bool parse(std::vector<std::string> args, DevsimOptions& o, std::string& error) {
    args.insert(args.begin(), "devsim");
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    bool help = false;
    return parse_options(static_cast<int>(args.size()), argv.data(), o, error, help);
}

}  // namespace

TEST(DevsimOptions, ValuesAreRead) {
    DevsimOptions o;
    std::string error;
    ASSERT_TRUE(parse({"-i", "dv0", "-M", "0a-3f-71-00-00-07", "--fw-version", "7.2.3", "--link", "0x10",
                       "--boot-mode", "2", "--reply-header", "01:02:03:04:05:06:07:08:09", "--load",
                       "8000=a.bin", "--dump", "0x8000:1AC=b.bin", "--drop-prob", "0.25", "--short-write", "3",
                       "--eeprom-size", "large", "--flash-size", "64K", "--node", "0A:3F:71:00:00:02",
                       "--zdp-late", "250", "--jitter-ms", "0:120", "--dup-prob", "0.1", "--dup-lag", "50:150",
                       "--late-first-ms", "105", "--no-echo", "--stray-zdp-ms", "2", "--bare-write-replies", "--unreadable",
                       "8000:1AC",
                       "--query-answer-hostif", "--no-end-acks"},
                      o, error))
        << error;
    EXPECT_EQ(o.interface, "dv0");
    EXPECT_EQ(o.mac[5], 7);
    ASSERT_EQ(o.unreadable.size(), 1u);
    EXPECT_EQ(o.unreadable[0].address, 0x8000u);
    EXPECT_EQ(o.unreadable[0].length, 428u);
    EXPECT_EQ(o.fw_version, 0x1C23);
    EXPECT_EQ(o.link_status, 0x10u);
    EXPECT_EQ(o.boot_mode, 2u);
    EXPECT_EQ(o.reply_header[8], 9);
    ASSERT_EQ(o.loads.size(), 1u);
    EXPECT_EQ(o.loads[0].address, 0x8000u);
    ASSERT_EQ(o.dumps.size(), 1u);
    EXPECT_EQ(o.dumps[0].length, 0x1ACu);
    EXPECT_EQ(o.drop_prob, 0.25);
    EXPECT_EQ(o.short_write, 3);
    EXPECT_EQ(o.eeprom_size, 512u * 1024);
    EXPECT_EQ(o.flash_size, 65536u);
    EXPECT_EQ(o.nodes.size(), 1u);
    EXPECT_EQ(o.zdp_late_ms, 250);
    EXPECT_EQ(o.jitter.low, 0);
    EXPECT_EQ(o.jitter.high, 120);
    EXPECT_EQ(o.dup_prob, 0.1);
    EXPECT_EQ(o.dup_lag.low, 50);
    EXPECT_EQ(o.dup_lag.high, 150);
    EXPECT_EQ(o.late_first_ms, 105);
    EXPECT_TRUE(o.no_echo);
    EXPECT_EQ(o.stray_zdp_ms, 2);
    EXPECT_TRUE(o.bare_write_replies);
    EXPECT_TRUE(o.query_answer_hostif);
    EXPECT_TRUE(o.no_end_acks);
}

TEST(DevsimOptions, BadValuesAreRefused) {
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"-i", "dv0", "-M", "0A:3F:71:00:00"},
        {"-i", "dv0", "--fw-version", "64.0.0"},
        {"-i", "dv0", "--fw-version", "1.2"},
        {"-i", "dv0", "--reply-header", "0102"},
        {"-i", "dv0", "--drop-prob", "1.5"},
        {"-i", "dv0", "--drop-first", "-1"},
        {"-i", "dv0", "--load", "8000"},
        {"-i", "dv0", "--dump", "8000=x"},
        {"-i", "dv0", "--busy-ms", "soon"},
        {"-i", "dv0", "--short-write", "1483"},
        {"-i", "dv0", "--zdp-error", "256"},
        {"-i", "dv0", "--zdp-late", "-5"},
        {"-i", "dv0", "--stats-counters", "10"},
        {"-i", "dv0", "--jitter-ms", "120"},
        {"-i", "dv0", "--jitter-ms", "120:0"},
        {"-i", "dv0", "--dup-lag", "50:"},
        {"-i", "dv0", "--dup-prob", "2"},
        {"-i", "dv0", "--late-first-ms", "-1"},
        {"-i", "dv0", "--stray-zdp-ms", "0"},
        {"-i", "dv0", "--unreadable", "8000"},
        {"-i", "dv0", "--unreadable", "8000:0"},
        {"-i", "dv0", "--no-such-option"},
        {"-i", "dv0", "stray"},
    };
    for (const auto& args : cases) {
        DevsimOptions o;
        std::string error;
        EXPECT_FALSE(parse(args, o, error)) << (args.empty() ? "(none)" : args.back());
        EXPECT_FALSE(error.empty());
    }
}
