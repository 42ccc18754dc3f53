#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "devsim_process.h"
#include "run_program.h"
#include "word_script.h"

// `hostlink -s` against devsim on the veth pair: every memory command of a
// script reaches the emulated device, and the exit status tells the outcome.
namespace {

namespace fs = std::filesystem;

class ScriptEndToEnd : public ::testing::Test {
protected:
    fs::path directory;

    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "script_e2e_XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        directory = pattern;
    }
    void TearDown() override { fs::remove_all(directory); }

    std::string path(const char* name) const { return (directory / name).string(); }

    void write_file(const char* name, const std::string& content) const {
        std::ofstream(path(name), std::ios::binary) << content;
    }

    std::string read_file(const char* name) const {
        std::ifstream in(path(name), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    ProgramRun hostlink(const std::string& script, std::vector<std::string> options = {}) const {
        return hostlink_redirected(script, std::move(options), "");
    }

    // The same through a shell that applies `redirections` (for example
    // ">/dev/full"); "2>&1" first puts standard error into the output. An
    // empty script runs the menu instead, its input at its end at once.
    ProgramRun hostlink_redirected(const std::string& script, std::vector<std::string> options,
                                   const std::string& redirections) const {
        std::vector<std::string> arguments = {"-m", "1", "-a", "192.0.2.2"};
        arguments.insert(arguments.end(), options.begin(), options.end());
        if (!script.empty()) {
            write_file("script.txt", script);
            arguments.push_back("-s");
            arguments.push_back(path("script.txt"));
        }
        if (redirections.empty()) return run_program(HOSTLINK_BINARY, arguments, "", 60);
        arguments.insert(arguments.begin(), {"-c", "exec \"$0\" \"$@\" " + redirections, HOSTLINK_BINARY});
        return run_program("/bin/sh", arguments, "", 60);
    }
};

TEST_F(ScriptEndToEnd, EveryMemoryCommandReachesTheDevice) {
    std::string block;
    for (int i = 0; i < 3000; ++i) block.push_back(char(i * 13 + 1));
    write_file("block.bin", block);
    write_file("words.txt", "11223344\n0xA5A5\n");
    write_file("sub.txt", "; nested\nW,7008,0000BEEF\n");
    DevsimProcess devsim({"--fw-version", "1.3.2", "--dump", "7000:10=" + path("words.dump"), "--dump",
                          "8060:6=" + path("mac.dump"), "--dump", "20000:BB8=" + path("block.dump")});
    ASSERT_TRUE(devsim.ready()) << devsim.output();

    ProgramRun run = hostlink("; every command of the memory script\n"
                              "W,7000,CAFEF00D\n"
                              "R,7000\n"
                              "F,0," + path("sub.txt") + "\n"
                              "L,7010,"  + path("words.txt") + "\n"
                              "N,7018," + path("words.txt") + "\n"
                              "S,7000,"  + path("store.txt") + ",2,TEXT\n"
                              "Z,7000,"  + path("sample.bin") + ",3\n"
                              "A,10,5A\n"
                              "I,10\n"
                              "SLEEP,0x10\n"
                              "PRINT,0,half way, or so\n"
                              "GET_VERSION,0\n"
                              "QUERY_STATUS,0\n"
                              "QUERY_MAC,0\n"
                              "SET_MAC,0,02:00:00:00:00:07\n"
                              "WRITE_BLOCK,700C,01 02 03 04\n"
                              "WRITE_BLOCK_F,20000," + path("block.bin") + "\n"
                              "READ_BLOCK_F,20000," + path("back.bin") + ",3000\n"
                              "ACTIVATE,0\n"
                              "G,0\n"
                              "RESET,0\n",
                              {"-d", "3"});
    devsim.stop();
    EXPECT_EQ(run.status, 0) << run.output;
    for (const char* expected : {"W,0x007000:0xcafef00d\n", "R,0x007000:0xcafef00d\n", "half way\n", "1.3.2\n",
                                 "link ", "network mode ", "0a:3f:71:00:00:01\n", "Loaded 21 commands from file.\n"})
        EXPECT_NE(run.output.find(expected), std::string::npos) << expected << "\n" << run.output;

    std::string words = read_file("words.dump");
    ASSERT_EQ(words.size(), 16u);
    EXPECT_EQ(words.substr(0, 4), "\x0D\xF0\xFE\xCA");
    EXPECT_EQ(words.substr(8, 4), std::string("\xEF\xBE\0\0", 4));
    EXPECT_EQ(words.substr(12, 4), "\x01\x02\x03\x04");
    EXPECT_EQ(read_file("mac.dump"), std::string("\x02\0\0\0\0\x07", 6));
    EXPECT_EQ(read_file("block.dump"), block);
    EXPECT_EQ(read_file("back.bin"), block);
    EXPECT_EQ(read_file("store.txt"), "00007000:cafef00d\n00007004:00000000\n");
    EXPECT_EQ(read_file("sample.bin"), std::string("\x0D\xF0\xFE\xCA\x0D\xF0\xFE\xCA\x0D\xF0\xFE\xCA"));
}

TEST_F(ScriptEndToEnd, LoadedWordsLandInOrderAndSwapped) {
    write_file("words.txt", "11223344\nA5A5\n");
    DevsimProcess devsim({"--dump", "7000:10=" + path("words.dump")});
    ASSERT_TRUE(devsim.ready()) << devsim.output();
    ProgramRun run = hostlink("L,7000," + path("words.txt") + "\nN,7008," + path("words.txt") + "\n");
    devsim.stop();
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(read_file("words.dump"), std::string("\x44\x33\x22\x11\xA5\xA5\0\0\x11\x22\x33\x44\0\0\xA5\xA5", 16));
}

TEST_F(ScriptEndToEnd, FailedScriptEndsWithStatus179) {
    DevsimProcess devsim({"--dump", "7000:4=" + path("word.dump")});
    ASSERT_TRUE(devsim.ready()) << devsim.output();
    ProgramRun failed = hostlink("W,7000,1\nRESET\nW,7000,2\n", {"-d", "1"});
    ProgramRun empty = hostlink("; nothing to do\n");
    devsim.stop();
    EXPECT_EQ(failed.status, 179) << failed.output;
    EXPECT_NE(failed.output.find("ERROR: bad format at line #1: \"RESET\n\", aborting...\n"), std::string::npos);
    EXPECT_NE(failed.output.find("ERROR: Failed to run script file "), std::string::npos) << failed.output;
    EXPECT_EQ(empty.status, 179) << empty.output;
    EXPECT_EQ(empty.output.find("*****"), std::string::npos) << "no banner in script mode\n" << empty.output;
    EXPECT_EQ(read_file("word.dump"), std::string("\x01\0\0\0", 4));
}

TEST_F(ScriptEndToEnd, EveryReadIsRightOnALossyOrSlowWire) {
    const std::vector<std::vector<std::string>> faults = {
        {"--drop-prob", "0.05", "--seed", "1"}, {"--drop-prob", "0.05", "--seed", "2"},
        {"--drop-prob", "0.05", "--seed", "3"}, {"--delay-ms", "30"},
        {"--drop-first", "3"},
    };
    const WordScript script(100);
    for (const auto& fault : faults) {
        std::string name = fault[0] + " " + fault[1] + (fault.size() > 2 ? " seed " + fault[3] : "");
        std::vector<std::string> options = fault;
        options.insert(options.end(), {"--dump", script.dump_option(path("words.dump"))});
        DevsimProcess devsim(options);
        ASSERT_TRUE(devsim.ready()) << devsim.output();
        ProgramRun run = hostlink(script.text, {"-d", "3"});
        devsim.stop();
        EXPECT_EQ(run.status, 0) << name << "\n" << run.output;
        EXPECT_EQ(WordScript::reads_in(run.output), script.expected_reads) << name;
        EXPECT_EQ(read_file("words.dump"), script.memory()) << name;
        const size_t dropped = devsim.output().find("dropped ");
        ASSERT_NE(dropped, std::string::npos) << devsim.output();
        if (fault[0] != "--delay-ms") {
            EXPECT_GT(std::atoi(devsim.output().c_str() + dropped + 8), 0) << name;
        }
    }
}

TEST_F(ScriptEndToEnd, LateWriteRepliesNeverShowInALaterRead) {
    // Replies 600 ms late miss every window: the write and the read fail,
    // and the five late replies to the write are dropped before the read.
    {
        DevsimProcess devsim({"--delay-ms", "600"});
        ASSERT_TRUE(devsim.ready()) << devsim.output();
        ProgramRun run = hostlink("W,104,22222222\nSLEEP,1500\nR,108\n", {"-d", "3"});
        devsim.stop();
        EXPECT_NE(run.status, 0) << run.output;
        EXPECT_EQ(run.output.find("R,0x000108:"), std::string::npos) << run.output;
        EXPECT_NE(run.output.find("Dropped 5 stale frame(s) before the request\n"), std::string::npos) << run.output;
        EXPECT_NE(run.output.find("ERROR: failed to read memory\n"), std::string::npos) << run.output;
    }
    // Replies 150 ms late answer each request in its second window; the
    // reply to the first send of each request is dropped before the next.
    {
        DevsimProcess devsim({"--delay-ms", "150"});
        ASSERT_TRUE(devsim.ready()) << devsim.output();
        ProgramRun run = hostlink("W,104,22222222\nSLEEP,400\nR,108\nSLEEP,400\nR,104\n", {"-d", "3"});
        devsim.stop();
        EXPECT_EQ(run.status, 0) << run.output;
        EXPECT_EQ(WordScript::reads_in(run.output), "R,0x000108:0x00000000\nR,0x000104:0x22222222\n")
            << run.output;
    }
}

// Lost output and lost data are failures: a memory file on a full disk,
// standard output that cannot be written, a stop by quit-on-failure.
TEST_F(ScriptEndToEnd, LostOutputAndQuitOnFailureFailTheRun) {
    DevsimProcess devsim({"--dump", "7000:4=" + path("word.dump")});
    ASSERT_TRUE(devsim.ready()) << devsim.output();
    const std::string stop_send = "STOP_SEND,02:00:00:00:00:0b 200\n";
    struct Case {
        const char* name;
        std::string script;
        std::vector<std::string> options;
        const char* redirections;
        int status;
        std::vector<std::string> output;
    };
    const Case cases[] = {
        {"block into a full disk", "READ_BLOCK_F,8000,/dev/full,100000\nW,7000,1\n", {}, "2>&1", 179,
         {"ERROR: failed to write /dev/full\n", "ERROR: Failed to read block from 8000 to file /dev/full aborting...\n"}},
        {"words into a full disk", "S,8000,/dev/full,10\nW,7000,1\n", {}, "2>&1", 179,
         {"ERROR: failed to write /dev/full\n", "ERROR: not all data written to file.\n"}},
        {"values read into a full standard output", "R,8000\nGET_VERSION,0\n", {"-d", "3"}, "2>&1 >/dev/full", 179,
         {"ERROR: failed to write standard output\n"}},
        // The last output was flushed on its own and failed: the buffer is
        // gone, so only the stream's error mark still tells at the end.
        {"a menu whose prompt went to a full standard output", "", {}, "2>&1 >/dev/full", 179,
         {"ERROR: failed to write standard output\n"}},
        {"statistics flushed into a full standard output", "REPORT_STATS,0a:3f:71:00:00:01\n", {"-c"},
         "2>&1 >/dev/full", 179, {"ERROR: failed to write standard output\n"}},
        {"quit-on-failure after a failure mark", "X,0,/nonexistent\n" + stop_send + "W,7000,1\n", {"-q"}, "", 179,
         {"ERROR: x1 result-> FAILURE\n", "Failure - "}},
        {"quit-on-failure alone", stop_send + "W,7000,1\n", {"-q"}, "", 179, {"Failure - "}},
        {"a failed test command without -q", stop_send + "W,7000,2\n", {}, "", 0, {"Failure - "}},
    };
    for (const Case& c : cases) {
        const ProgramRun run = hostlink_redirected(c.script, c.options, c.redirections);
        EXPECT_EQ(run.status, c.status) << c.name << "\n" << run.output;
        for (const std::string& expected : c.output)
            EXPECT_NE(run.output.find(expected), std::string::npos) << c.name << ": " << expected << "\n" << run.output;
    }
    devsim.stop();
    EXPECT_EQ(read_file("word.dump"), std::string("\x02\0\0\0", 4)) << "only the run without -q went on";
}

}  // namespace
