#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "run_tabgen.h"
#include "test_support.h"

namespace {

std::string usage() { return usage_text(TABGEN_BINARY); }

std::string kit_parameters() {
    std::ifstream file(TABGEN_KIT_PARAMETERS, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

}  // namespace

TEST(CommandLine, SectionOAsMemoryScript) {
    const ProgramRun run = run_tabgen_binary("-o -s");
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_EQ(run.err, "");
    const auto lines = split_lines(run.out);
    ASSERT_EQ(lines.size(), 27u);
    EXPECT_EQ(lines.front(), "W,8000,00000068");
    EXPECT_EQ(lines[24], "W,8060,00713F0A");
    EXPECT_EQ(lines.back(), "W,8068,00713F0A");
}

TEST(CommandLine, SectionMAsMemoryScript) {
    const ProgramRun run = run_tabgen_binary("/ms");
    EXPECT_EQ(run.exit_code, 0);
    const auto lines = split_lines(run.out);
    ASSERT_EQ(lines.size(), 80u);
    EXPECT_EQ(lines.front(), "W,806C,000000F8");
    EXPECT_EQ(lines[63], "W,8168,00000040");  // section3_length at image byte 360
    EXPECT_TRUE(lines.back().starts_with("W,81A8,"));
}

TEST(CommandLine, SectionOAsHexTextWithUnknownLettersIgnored) {
    const ProgramRun run = run_tabgen_binary("-ox -q");
    EXPECT_EQ(run.exit_code, 0);
    const auto lines = split_lines(run.out);
    ASSERT_EQ(lines.size(), 7u);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(lines[i].size(), 32u);
    EXPECT_EQ(lines[0], "68000000003f02001c0100002d6b1180");
    EXPECT_EQ(lines[6], "0a3f7100000264000a3f7100");
}

TEST(CommandLine, DumpFirstLine) {
    const ProgramRun run = run_tabgen_binary("-p -s");
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_TRUE(run.out.starts_with("nm=section1_length                  addr=0x8000 sz=4  val=0x00000068\n"));
    EXPECT_EQ(split_lines(run.out).size(), 202u);
}

TEST(CommandLine, MacAddressOption) {
    struct Case {
        std::string arguments;
        const char* last_line;  // empty: no output
    };
    // At most 64 characters are accepted; leading zeros keep the octets the same.
    const std::string mac64 = std::string(64 - 17, '0') + "0A:3F:71:00:00:09";
    const Case cases[] = {
        {"-o -M " + mac64, "0a3f7100000964000a3f7100"},
        {"-o -M 0" + mac64, ""},
        {"-o -M 0A:3F:71:00:00:09", "0a3f7100000964000a3f7100"},
        {"-o -M 0x0A:0x3F:0x71:0:0:7", "0a3f7100000764000a3f7100"},
        {"-o -M0A-3F-71-00-00-197", "0a3f7100009764000a3f7100"},
        {"-o -M '1 2 3 4 5 6'", "01020304050664000a3f7100"},
        {"-o -M 0A:3F:71:00:00", ""},
        {"-o -M 0A:3F:71:00:00:256", ""},
        {"-o -M 0A:3F:71:00:00:07:08", ""},
        {"-M 0A:3F:71:00:00 -o -m", ""},  // rejected before the outputs are counted
    };
    for (const Case& c : cases) {
        const ProgramRun run = run_tabgen_binary(c.arguments);
        EXPECT_EQ(run.exit_code, 0) << c.arguments;
        EXPECT_EQ(run.err, "") << c.arguments;
        if (*c.last_line == '\0') {
            EXPECT_EQ(run.out, "") << c.arguments;
        } else {
            ASSERT_FALSE(run.out.empty()) << c.arguments;
            EXPECT_EQ(split_lines(run.out).back(), c.last_line) << c.arguments;
        }
    }
    // A MAC from -M wins over the file's MAC_ADDR.
    const ProgramRun run = run_tabgen_binary("-o -M 1:2:3:4:5:6", "MAC_ADDR = 0A:0B:0C:0D:0E:0F\n");
    EXPECT_EQ(split_lines(run.out).back(), "01020304050664000a3f7100");
}

TEST(CommandLine, UsageErrorsAndHelp) {
    struct Case {
        std::string arguments;
        int exit_code;
        std::string err;
        bool usage_shown;
    };
    const std::string one_output = "ERROR: exactly one output must be selected!!!\n";
    const Case cases[] = {
        {"", -1, one_output, true},
        {"-s", -1, one_output, true},
        {"-o -m", -1, one_output, true},
        {"-o0", -1, one_output, true},
        {"-v5 -o", -1, "Invalid verbose mode 5\n", true},
        {"-o -v -1", -1, "", true},
        {"-h -o -m", 0, "", true},
        {"-o -v 3 -h", 0, "", true},
        {"-i -o", 0, "", false},
        {"-o -f", 0, "", false},  // a missing argument is ignored
        {"-o -- -m", 0, "", false},
        {"-o stop -m", 0, "", false},
        {"-o -f " + std::string(260, 'x'), -1, "ERROR: file name longer than 259 characters!!!\n", false},
    };
    for (const Case& c : cases) {
        const ProgramRun run = run_tabgen_binary(c.arguments);
        EXPECT_EQ(run.exit_code, c.exit_code) << c.arguments;
        EXPECT_EQ(run.err, c.err) << c.arguments;
        EXPECT_EQ(run.out == usage(), c.usage_shown) << c.arguments;
    }
}

TEST(CommandLine, ParameterFileErrorsLeaveNoOutput) {
    struct Case {
        const char* arguments;
        const char* file;
        int exit_code;
        const char* err;
    };
    const Case cases[] = {
        {"-o -s", "auto_activate = 1\nauto_activate\n", -2, ""},
        {"-o -s -v1", "auto_activate = 1\nauto_activate\n", -2, "ERROR: bad syntax on line 2 (missing value)!!!\n"},
        {"-m -v 1", "Auto_Activate = 1\n", -3, "ERROR: unknown parameter (Auto_Activate)!!!\n"},
        {"-3 -v1", "[STATIC_ADDRESSES]\n00:11:22\n00:11:22:33:44:55\n", -2,
         "ERROR : unable to read MAC address\nError occured in line : 00:11:22\n\n"
         "ERROR: bad syntax on line 2 (missing value)!!!\n"},
    };
    for (const Case& c : cases) {
        const ProgramRun run = run_tabgen_binary(c.arguments, c.file);
        EXPECT_EQ(run.exit_code, c.exit_code) << c.arguments;
        EXPECT_EQ(run.out, "") << c.arguments;
        EXPECT_EQ(run.err, c.err) << c.arguments;
    }
}

TEST(CommandLine, ReadsPrmInfOrTheNamedFileAndForcesSectionLengths) {
    const ProgramRun from_prm = run_tabgen_binary("-o", "section1_length = 7\nauto_activate = 1\n");
    EXPECT_EQ(split_lines(from_prm.out)[0], "68000000013f02001c0100002d6b1180");

    const std::string path = write_scratch_file("other.inf", "auto_activate = 2\n");
    const ProgramRun from_f = run_tabgen_binary("-o -f " + path, "auto_activate = 1\n");
    EXPECT_EQ(split_lines(from_f.out)[0], "68000000023f02001c0100002d6b1180");

    const ProgramRun missing = run_tabgen_binary("-o -f does_not_exist.inf", "auto_activate = 1\n");
    EXPECT_EQ(missing.exit_code, 0);
    EXPECT_EQ(split_lines(missing.out)[0], "68000000003f02001c0100002d6b1180");
}

TEST(CommandLine, TablesWithoutEntriesWriteNothing) {
    for (const char* arguments : {"-0", "-1", "-2", "-3", "-3 -s"}) {
        const ProgramRun run = run_tabgen_binary(arguments);
        EXPECT_EQ(run.exit_code, 0) << arguments;
        EXPECT_EQ(run.out, "") << arguments;
    }
}

TEST(CommandLine, LostOutputIsAFailure) {
    const int status = std::system("'" TABGEN_BINARY "' -m >/dev/full 2>/dev/null");
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(static_cast<int8_t>(WEXITSTATUS(status)), -1);
}

TEST(CommandLine, KitParameterFileCompilesEveryRegion) {
    const std::string kit = kit_parameters();
    ASSERT_FALSE(kit.empty());
    for (const char* arguments : {"-o -v3", "-m -v3", "-0 -v3", "-1 -v3", "-2 -v3", "-3 -v3", "-p -v3"}) {
        const ProgramRun run = run_tabgen_binary(arguments, kit);
        EXPECT_EQ(run.exit_code, 0) << arguments;
        EXPECT_EQ(run.err, "") << arguments;
        EXPECT_FALSE(run.out.empty()) << arguments;
    }
}
