#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "flow_encoding.h"
#include "test_support.h"

namespace {

const char* const voice_example =
    "[QoS]\n"
    "FILTERS = voice\n"
    "[voice]\n"
    "TYPE = CLASS\n"
    "PRIORITY = 6\n"
    "RULES = r1, r2\n"
    "FLOW_PARAMS = f1\n"
    "[r1]\n"
    "PATTERN = 08 00\n"
    "MASK = FF FF\n"
    "OFFSET = 12\n"
    "[r2]\n"
    "PATTERN = 45\n"
    "MASK = F0\n"
    "[f1]\n"
    "SERVICE_TYPE = VOICE\n"
    "PRIORITY = 5\n"
    "LATENCY = 20\n"
    "JITTER = 10\n"
    "PACKET_SIZE = 200\n"
    "AVG_RATE = 64000\n";

std::vector<uint8_t> table(const ReadOutcome& outcome, int number) {
    return table_bytes(outcome.parameters.tables, number);
}

// A flow subsection's record, read from a file with one filter and one flow.
std::vector<uint8_t> flow_record(const std::string& flow_lines) {
    const ReadOutcome outcome = read_text("[QoS]\nFILTERS = a\n[a]\nFLOW_PARAMS = f\n[f]\n" + flow_lines);
    EXPECT_EQ(outcome.status, 0);
    return table(outcome, 2);
}

std::string with_crlf(const std::string& text) {
    std::string out;
    for (char c : text) out += c == '\n' ? std::string("\r\n") : std::string(1, c);
    return out;
}

}  // namespace

TEST(QosSection, CompilesTheVoiceExampleByteForByte) {
    const std::vector<uint8_t> rules = {0x08, 0x00, 0, 0, 0, 0, 0xFF, 0xFF, 0, 0, 0, 0, 0x0C, 0, 0x02, 0x02,
                                        0x45, 0,    0, 0, 0, 0, 0xF0, 0,    0, 0, 0, 0, 0,    0, 0x01, 0x00};
    const std::vector<uint8_t> filters = {0x01, 0x06, 0x01, 0x01};
    const std::vector<uint8_t> flows = {0xE8, 0xA4, 0, 0, 200, 0, 200, 0, 0x80, 0x3E, 0x80, 0x3E, 0x80, 0x3E,
                                        0,    0,    0, 0, 0,   0, 0,   0, 0,    0,    0,    0,    0,    0};
    for (const std::string& text : {std::string(voice_example), with_crlf(voice_example)}) {
        const ReadOutcome outcome = read_text(text, 3);
        EXPECT_EQ(outcome.status, 0);
        EXPECT_EQ(table(outcome, 0), rules);
        EXPECT_EQ(table(outcome, 1), filters);
        EXPECT_EQ(table(outcome, 2), flows);
        EXPECT_TRUE(table(outcome, 3).empty());
        EXPECT_EQ(outcome.messages, "");
    }
}

TEST(QosSection, FlowFieldsAndDefaults) {
    struct Case {
        const char* lines;
        int offset;
        std::vector<uint8_t> bytes;
    };
    const Case cases[] = {
        {"LATENCY = 15\n", 0, {0x04, 0}},  // unknown latency gives code 0; jitter code 1 stays
        {"JITTER = 7\n", 0, {0xC0, 0}},
        {"SERVICE_TYPE = BEST_EFFORT\n", 0, {0xC4, 0x0C}},
        {"SERVICE_TYPE = other\n", 0, {0xC4, 0x00}},
        {"PRIORITY = 13\n", 0, {0xC4, 0xA0}},  // only the low 3 bits remain
        {"MAX_RATE = 10\nAVG_RATE = 3\n", 8, {2, 0, 0, 0, 0, 0}},
        {"AVG_RATE = 400\nMIN_RATE = 8\n", 8, {100, 0, 100, 0, 2, 0}},
        {"PER = 0.01\n", 14, {0x94}},
        {"PER = 0.001\n", 14, {0x71}},
        {"PER = 0.01\nPACKET_SIZE = 200\n", 14, {0x94}},  // PER uses the size known when it is read
        {"PER = 0\n", 14, {0}},
        {"PACKET_SIZE = 0\nPER = 0.01\n", 14, {0}},
        {"TIMEOUT = 70000\n", 20, {0x70, 0x11, 0, 0}},
        {"PACKET_SIZE = 1000\n", 4, {0xE8, 0x03, 0xE8, 0x03}},
        {"LATENCY\nJITTER = 20\n", 0, {0xCC, 0}},  // a key without value is skipped
    };
    for (const Case& c : cases) {
        const std::vector<uint8_t> flow = flow_record(c.lines);
        ASSERT_EQ(flow.size(), 28u) << c.lines;
        EXPECT_EQ(std::vector<uint8_t>(flow.begin() + c.offset, flow.begin() + c.offset + c.bytes.size()), c.bytes)
            << c.lines;
    }
}

TEST(QosSection, PacketErrorRateCodeStaysInItsFields) {
    EXPECT_EQ(per_code(0.01, 1514), 0x94);
    EXPECT_EQ(per_code(0.001, 1514), 0x71);
    EXPECT_EQ(per_code(0.0, 1514), 0);
    EXPECT_EQ(per_code(-1.0, 1514), 0);
    EXPECT_EQ(per_code(0.01, 0), 0);
    EXPECT_EQ(per_code(std::nan(""), 1514), 0);
    EXPECT_EQ(per_code(std::numeric_limits<double>::infinity(), 1514), 0);
    EXPECT_EQ(per_code(std::numeric_limits<double>::denorm_min(), 65535), 0);  // underflows to 0, no loop
    // Rates beyond the five exponent bits are pinned instead of spilling into the mantissa.
    EXPECT_EQ(per_code(1e-9, 1514) & 0x1F, 0);
    EXPECT_EQ(per_code(1e-300, 1514), per_code(1e-300, 1514) & 0xE0);
    EXPECT_EQ(per_code(1e6, 1), 0xFF);
}

TEST(QosSection, RulesListedTwiceAreStoredTwice) {
    const ReadOutcome outcome = read_text(
        "[QoS]\nFILTERS = a, b\n[a]\nRULES = r1, r9\n[b]\nRULES = r1\n[r1]\nPATTERN = 11 22\nMASK = 0F\nOFFSET = 300\n");
    ASSERT_EQ(outcome.status, 0);
    const auto& rules = outcome.parameters.tables.rules;
    ASSERT_EQ(rules.size(), 3u);
    const std::vector<uint8_t> r1 = {0x11, 0x22, 0, 0, 0, 0, 0x0F, 0, 0, 0, 0, 0, 0x2C, 0x01, 2};
    EXPECT_EQ(std::vector<uint8_t>(rules[0].bytes.begin(), rules[0].bytes.begin() + 15), r1);
    EXPECT_EQ(rules[0].bytes[15], 2);
    EXPECT_EQ(std::vector<uint8_t>(rules[2].bytes.begin(), rules[2].bytes.begin() + 15), r1);
    EXPECT_EQ(rules[2].bytes[15], 0);
    EXPECT_EQ(rules[1].bytes[14], 0);  // r9 never described
    // Each filter points at its own listing of r1.
    EXPECT_EQ(table(outcome, 1), std::vector<uint8_t>({1, 0, 1, 0, 1, 0, 3, 0}));
}

TEST(QosSection, RuleSubsectionEdgeCases) {
    struct Case {
        const char* lines;
        std::vector<uint8_t> bytes;
        bool reported;
    };
    const Case cases[] = {
        {"MASK = FF\nPATTERN = 01\n", {1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, false},
        {"PATTERN = 1 2 3\nMASK = F1\n", {1, 2, 3, 0, 0, 0, 0xF1, 0, 0, 0, 0, 0, 0, 0, 3, 0}, false},
        {"PATTERN = 1 2\nPATTERN = 3\nMASK = F1 F2 F3 F4\n", {1, 2, 3, 0, 0, 0, 0xF1, 0xF2, 0xF3, 0, 0, 0, 0, 0, 3, 0},
         false},
        {"PATTERN = 1 2 3 4 5 6 7 8\nMASK = 1 2 3 4 5 6 7 8\n", {1, 2, 3, 4, 5, 6, 1, 2, 3, 4, 5, 6, 0, 0, 6, 0}, true},
    };
    for (const Case& c : cases) {
        const ReadOutcome outcome = read_text(std::string("[QoS]\nFILTERS = a\n[a]\nRULES = r\n[r]\n") + c.lines, 1);
        EXPECT_EQ(table(outcome, 0), c.bytes) << c.lines;
        EXPECT_EQ(!outcome.messages.empty(), c.reported) << c.lines;
    }
}

TEST(QosSection, FilterWithoutRulesOrFlowGetsZeroIndexes) {
    const ReadOutcome outcome = read_text("[QoS]\nFILTERS = a, b\n[a]\nTYPE = PROTOCOL\n[b]\nPRIORITY = 3\n");
    EXPECT_EQ(table(outcome, 1), std::vector<uint8_t>({2, 0, 0, 0, 1, 3, 0, 0}));
}

TEST(QosSection, UnknownHeadersAndKeysAreReportedFromVerbosityTwo) {
    const std::string text = "[QoS]\nFILTERS = a\n[unknown]\n[a]\nCOLOR = red\nTYPE\n";
    EXPECT_EQ(read_text(text, 1).messages, "");
    EXPECT_EQ(read_text(text, 2).messages,
              "*************** Error : unidentified parameter : unknown *************\n"
              "*****unknown parameter in a filter********\n"
              "*****unknown parameter in a filter********\n");
}

TEST(QosSection, SectionsHandTheirHeadersBack) {
    const ReadOutcome outcome = read_text(
        "[STATIC_ADDRESSES]\n# office\n00:11:22:33:44:55\n\n66-77-88-99-AA-BB\n[QoS]\nFILTERS = a\n"
        "[a]\nPRIORITY = 2\n\n[STATIC_ADDRESSES]\n01:02:03:04:05:06 ignored extra\n");
    ASSERT_EQ(outcome.status, 0);
    EXPECT_EQ(table(outcome, 1), std::vector<uint8_t>({1, 2, 0, 0}));
    // The second list restarts table 3.
    EXPECT_EQ(table(outcome, 3), std::vector<uint8_t>({1, 2, 3, 4, 5, 6}));

    const ReadOutcome both = read_text("[STATIC_ADDRESSES]\n00:11:22:33:44:55\n66-77-88-99-AA-BB\n");
    EXPECT_EQ(table(both, 3), std::vector<uint8_t>({0, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99, 0xAA,
                                                    0xBB}));
}

TEST(QosSection, ASecondQosSectionRebuildsTheTables) {
    const ReadOutcome outcome = read_text(std::string(voice_example) + "[QoS]\nFILTERS = x\n[x]\nPRIORITY = 1\n");
    EXPECT_EQ(table(outcome, 1), std::vector<uint8_t>({1, 1, 0, 0}));
    EXPECT_TRUE(table(outcome, 0).empty());
    EXPECT_TRUE(table(outcome, 2).empty());
}

TEST(QosSection, CapacitiesFailTheRunInsteadOfOverrunning) {
    auto list = [](const char* prefix, int count, const char* separator) {
        std::string text;
        for (int i = 0; i < count; ++i) text += std::string(i ? separator : "") + prefix + std::to_string(i);
        return text;
    };
    // Filter names may repeat, so that many filters fit the one filter list line.
    auto repeated = [](int count) {
        std::string text;
        for (int i = 0; i < count; ++i) text += i ? ",a" : "a";
        return text;
    };
    auto addresses = [](int count) {
        std::string text = "[STATIC_ADDRESSES]\n";
        for (int i = 0; i < count; ++i) text += "00:00:00:00:00:" + std::to_string(i % 100) + "\n";
        return text;
    };
    struct Case {
        std::string text;
        int status;
    };
    const Case cases[] = {
        {"[QoS]\nFILTERS = " + repeated(100) + "\n", 0},
        {"[QoS]\nFILTERS = " + repeated(101) + "\n", exit_bad_syntax},
        {"[QoS]\nFILTERS = a\n[a]\nRULES = " + list("r", 50, " ") + "\nRULES = " + list("s", 50, " ") + "\n", 0},
        {"[QoS]\nFILTERS = a\n[a]\nRULES = " + list("r", 50, " ") + "\nRULES = " + list("s", 51, " ") + "\n",
         exit_bad_syntax},
        {"[QoS]\nFILTERS = a\n[a]\nFLOW_PARAMS = " + list("f", 50, " ") + "\nFLOW_PARAMS = " + list("g", 51, " ") +
             "\n",
         exit_bad_syntax},
        {addresses(64), 0},
        {addresses(65), exit_bad_syntax},
        {"[QoS]\nFILTERS = " + std::string(79, 'n') + "\n", 0},
        {"[QoS]\nFILTERS = " + std::string(80, 'n') + "\n", exit_bad_syntax},
    };
    for (const Case& c : cases) {
        const ReadOutcome outcome = read_text(c.text, 0);
        EXPECT_EQ(outcome.status, c.status) << c.text.substr(0, 60);
        // Capacity errors are never silent.
        EXPECT_EQ(outcome.messages.starts_with("ERROR: "), c.status != 0) << outcome.messages;
    }
}
