#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "devsim_process.h"
#include "run_program.h"
#include "temp_dir.h"
#include "text_count.h"
#include "word_script.h"

// `hostlink -s` against devices whose replies come late, jittered, twice, or
// without the request's opcode and address: every read and every byte of a
// block read back must be right. Devices that answer at once or a few
// milliseconds late need hardly any request sent twice: a drain that ran
// after the send instead of before it would take replies that came at once,
// and a window that gave up early would miss the late ones. One devsim per
// case on the wire, each with its own MAC, and one loader for each, all at
// once: the faults cost their time in waits, not in work.
namespace {

namespace fs = std::filesystem;

constexpr int BLOCK_BYTES = 16 * 1024;
constexpr uint32_t BLOCK_ADDRESS = 0x20000;

struct FaultCase {
    const char* name;
    std::vector<std::string> fault;
    int words;  // W/R line pairs: many where the fault is random, few where it hits every request
    // The loader shows at -d 3 that the fault reached it: one of these. None
    // for a device without trouble: then at most one request in fifty shows
    // any (a loaded machine may hold a reply past its window now and then).
    std::vector<std::string> evidence;
};

const std::string RESENT = "No reply within 100 ms to send 1 of 5\n";
const std::string SKIPPED = "Skipped a stale reply: ";
const std::string DROPPED = " stale frame(s) before the request\n";
const std::string TROUBLE[] = {"No reply within ", SKIPPED, DROPPED};

const FaultCase CASES[] = {
    {"answered_at_once", {}, 100, {}},
    {"answered_2_ms_late", {"--delay-ms", "2"}, 100, {}},
    {"late_150_ms", {"--delay-ms", "150"}, 10, {RESENT}},
    {"jitter_0_to_120_ms", {"--jitter-ms", "0:120", "--seed", "3"}, 100, {RESENT}},
    {"every_reply_twice", {"--dup-prob", "1"}, 100, {SKIPPED, DROPPED}},
    // Answered in 20 ms, so that the copies, 50 to 150 ms late, come while
    // later requests wait for their replies.
    {"a_tenth_twice_50_to_150_ms_apart",
     {"--dup-prob", "0.1", "--dup-lag", "50:150", "--delay-ms", "20", "--seed", "5"},
     100,
     {SKIPPED}},
    {"first_copy_150_ms_late", {"--late-first-ms", "150"}, 10, {RESENT}},
    {"no_echo_late_150_ms", {"--no-echo", "--delay-ms", "150"}, 10, {RESENT}},
    {"no_echo_late_250_ms", {"--no-echo", "--delay-ms", "250"}, 10, {RESENT}},
    {"no_echo_jitter_0_to_120_ms", {"--no-echo", "--jitter-ms", "0:120", "--seed", "3"}, 100, {RESENT}},
};

std::string device_mac(size_t index) {
    char mac[18];
    std::snprintf(mac, sizeof mac, "0A:3F:71:00:02:%02zX", index + 1);
    return mac;
}

class ReplyFaults : public ::testing::Test {
protected:
    fs::path directory;

    void SetUp() override {
        if (!std::getenv("HL_IFACE")) GTEST_SKIP() << "runs only inside the test namespace";
        std::string pattern = (fs::temp_directory_path() / "reply_faults_XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        directory = pattern;
    }
    void TearDown() override {
        if (!directory.empty() && !std::getenv("KEEP_FAULT_RUNS")) fs::remove_all(directory);
    }

    std::string path(const std::string& name) const { return (directory / name).string(); }

    void write_file(const std::string& name, const std::string& content) const { TempDir::write(path(name), content); }
    std::string read_file(const std::string& name) const { return TempDir::contents(path(name)); }
};

TEST_F(ReplyFaults, EveryReadAndEveryByteReadBackIsRight) {
    std::string block;
    for (int i = 0; i < BLOCK_BYTES; ++i) block.push_back(static_cast<char>(i * 7 + i / 251));
    write_file("block.bin", block);

    std::vector<std::unique_ptr<DevsimProcess>> devices;
    std::vector<std::unique_ptr<RunningProgram>> loaders;
    std::vector<WordScript> scripts;
    for (size_t i = 0; i < std::size(CASES); ++i) {
        const FaultCase& c = CASES[i];
        const std::string name = c.name;
        scripts.emplace_back(c.words);
        char block_range[32];
        std::snprintf(block_range, sizeof block_range, "%X:%X=", BLOCK_ADDRESS, BLOCK_BYTES);
        std::vector<std::string> options = c.fault;
        options.insert(options.end(), {"-M", device_mac(i), "--dump", scripts[i].dump_option(path(name + ".words")),
                                       "--dump", block_range + path(name + ".block")});
        devices.push_back(std::make_unique<DevsimProcess>(options));
        ASSERT_TRUE(devices.back()->ready()) << name << "\n" << devices.back()->output();

        char block_lines[160];
        std::snprintf(block_lines, sizeof block_lines, "WRITE_BLOCK_F,%X,%s\nREAD_BLOCK_F,%X,%s,%d\n",
                      BLOCK_ADDRESS, path("block.bin").c_str(), BLOCK_ADDRESS, path(name + ".back").c_str(),
                      BLOCK_BYTES);
        write_file(name + ".txt", scripts[i].text + block_lines);
        loaders.push_back(std::make_unique<RunningProgram>(
            "/bin/sh",
            std::vector<std::string>{"-c", "exec \"$0\" \"$@\" >" + path(name + ".out"), HOSTLINK_BINARY, "-M",
                                     device_mac(i), "-a", "192.0.2.2", "-d", "3", "-s", path(name + ".txt")}));
        ASSERT_TRUE(loaders.back()->started()) << name;
    }

    for (size_t i = 0; i < std::size(CASES); ++i) {
        const FaultCase& c = CASES[i];
        const std::string name = c.name;
        const ProgramRun run = loaders[i]->finish(240);
        devices[i]->stop();
        const std::string output = read_file(name + ".out");
        EXPECT_EQ(run.status, 0) << name << "\n" << output;
        EXPECT_EQ(WordScript::reads_in(output), scripts[i].expected_reads) << name;
        EXPECT_EQ(read_file(name + ".words"), scripts[i].memory()) << name;
        EXPECT_TRUE(read_file(name + ".block") == block) << name << ": the block in device memory";
        EXPECT_TRUE(read_file(name + ".back") == block) << name << ": the block read back";
        if (c.evidence.empty()) {
            size_t trouble = 0;
            for (const std::string& line : TROUBLE) trouble += count_of(output, line);
            EXPECT_LE(trouble, 2u * c.words / 50) << name << ": requests in trouble\n" << output;
            continue;
        }
        bool shown = false;
        for (const std::string& evidence : c.evidence) shown = shown || output.find(evidence) != std::string::npos;
        EXPECT_TRUE(shown) << name << ": the fault never reached the loader\n" << output;
    }
}

}  // namespace
