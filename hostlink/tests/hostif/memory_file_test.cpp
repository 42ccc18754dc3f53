#include <gtest/gtest.h>

#include <ostream>

#include <unistd.h>

#include <cstdio>
#include <functional>
#include <string>

#include "fake_device.h"
#include "hostif/memory_file.h"
#include "output_capture.h"
#include "temp_dir.h"

namespace {

class MemoryFile : public HostifTest {
protected:
    std::string file(const std::string& name, const std::string& content) { return dir_.file(name, content); }
    std::string path(const std::string& name) const { return dir_.path(name); }
    static std::string contents(const std::string& path) { return TempDir::contents(path); }

    TempDir dir_;
};

struct LoadCase {
    const char* name;
    std::string content;
    int swap;
    int result;
    std::vector<uint32_t> words;  // expected at 0x100, 0x104, ...
    const char* message;
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const LoadCase& c, std::ostream* os) { *os << c.name; }

class LoadMemoryFile : public MemoryFile, public testing::WithParamInterface<LoadCase> {};

TEST_P(LoadMemoryFile, WritesWordsUntilTheFirstBadLine) {
    const LoadCase& c = GetParam();
    std::string p = file("words.txt", c.content);
    capture_stdout();
    EXPECT_EQ(load_memory_file(link, p.c_str(), 0x100, c.swap), c.result);
    EXPECT_EQ(captured_stdout(), c.message);
    for (size_t i = 0; i < c.words.size(); ++i) EXPECT_EQ(device.word(0x100 + 4 * i), c.words[i]) << i;
    EXPECT_EQ(sent_with(OPCODE_WRITE_MEMORY).size(), c.words.size());
}

INSTANTIATE_TEST_SUITE_P(
    Files, LoadMemoryFile,
    testing::Values(
        LoadCase{"plain", "1\n  0x2\nABCDEF01 trailing text\n", 0, 3, {1, 2, 0xABCDEF01}, ""},
        LoadCase{"swapped", "11223344\n", 1, 1, {0x44332211}, ""},
        LoadCase{"bad_third_line", "1\n2\nzz\n3\n", 0, 2, {1, 2},
                 "ERROR: bad numeric input on line #2: \"zz\", aborting...\n"},
        LoadCase{"empty", "", 0, -2, {}, "ERROR: no data in file.\n"},
        LoadCase{"bad_first_line", "hello\n", 0, -2, {},
                 "ERROR: bad numeric input on line #0: \"hello\", aborting...\n"
                 "ERROR: no data in file.\n"},
        // The tail of an over-long line is not a line of its own.
        LoadCase{"long_line", "5" + std::string(600, ' ') + "7\n6\n", 0, 2, {5, 6}, ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(MemoryFile, LoadFailures) {
    capture_stdout();
    EXPECT_EQ(load_memory_file(link, nullptr, 0, 0), -1);
    EXPECT_EQ(load_memory_file(link, path("missing").c_str(), 0, 0), -5);
    std::string p = file("w.txt", "1\n2\n");
    device.silent = true;
    EXPECT_EQ(load_memory_file(link, p.c_str(), 0, 0), -1);
    EXPECT_EQ(captured_stdout(),
              "ERROR: file could not be accessed\nERROR: failed to write address, aborting..\n");
}

TEST_F(MemoryFile, LoadProgressAtDebugThree) {
    debug_level = 3;
    std::string p = file("w.txt", "1\n");
    capture_stdout();
    EXPECT_EQ(load_memory_file(link, p.c_str(), 0x8000, 0), 1);
    EXPECT_EQ(captured_stdout(), "Going to load file to address 0x008000\nLoaded 1 locations in memory\n");
}

struct StoreCase {
    const char* name;
    int binary;
    int step;
    int count;
    std::string expected;
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const StoreCase& c, std::ostream* os) { *os << c.name; }

class StoreMemoryFile : public MemoryFile, public testing::WithParamInterface<StoreCase> {};

TEST_P(StoreMemoryFile, WritesWordsAsAsked) {
    const StoreCase& c = GetParam();
    device.set_word(0x100, 0x0A0B0C0D);
    device.set_word(0x104, 0xDEADBEEF);
    std::string p = path("out");
    EXPECT_EQ(store_memory_file(link, p.c_str(), 0x100, c.count, c.binary, c.step), c.count);
    EXPECT_EQ(contents(p), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Files, StoreMemoryFile,
    testing::Values(StoreCase{"text", 0, 1, 2, "00000100:0a0b0c0d\n00000104:deadbeef\n"},
                    StoreCase{"sampling", 0, 0, 3,
                              "00000100:0a0b0c0d\n00000100:0a0b0c0d\n00000100:0a0b0c0d\n"},
                    StoreCase{"binary", 1, 1, 2, std::string("\x0d\x0c\x0b\x0a\xef\xbe\xad\xde", 8)},
                    StoreCase{"nothing", 0, 1, 0, ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(MemoryFile, StoreFailures) {
    capture_stdout();
    EXPECT_EQ(store_memory_file(link, nullptr, 0, 1, 0, 1), -1);
    EXPECT_EQ(store_memory_file(link, path("no/such/dir").c_str(), 0, 1, 0, 1), -9);
    device.silent = true;
    EXPECT_EQ(store_memory_file(link, path("x").c_str(), 0, 1, 0, 1), -1);
    EXPECT_EQ(captured_stdout(), "ERROR: file could not be created\nERROR: Failed to read memory, aborting\n");
}

// Whether the bytes fail at once or only when the buffer is flushed at the
// end, a file write that falls short fails the transfer and names the file.
TEST_F(MemoryFile, WritesToAFullDeviceFail) {
    if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
    struct Case {
        const char* name;
        std::function<int()> transfer;
        int result;
        const char* output;
    };
    const Case cases[] = {
        {"text words", [this] { return store_memory_file(link, "/dev/full", 0, 2, 0, 1); }, -2,
         "ERROR: not all data written to file.\n"},
        {"many binary words", [this] { return store_memory_file(link, "/dev/full", 0, 2000, 1, 0); }, -2,
         "ERROR: not all data written to file.\n"},
        {"a buffered block", [this] { return read_block_to_file(link, 0, 10, "/dev/full"); }, 0, ""},
        {"a block of many pieces", [this] { return read_block_to_file(link, 0, 100000, "/dev/full"); }, 0, ""},
    };
    for (const Case& c : cases) {
        capture_stdout();
        capture_stderr();
        EXPECT_EQ(c.transfer(), c.result) << c.name;
        EXPECT_EQ(captured_stderr(), "ERROR: failed to write /dev/full\n") << c.name;
        EXPECT_EQ(captured_stdout(), c.output) << c.name;
    }
}

TEST_F(MemoryFile, StoreProgressAtDebugThree) {
    debug_level = 3;
    capture_stdout();
    EXPECT_EQ(store_memory_file(link, path("x").c_str(), 0x200, 2, 1, 1), 2);
    EXPECT_EQ(captured_stdout(),
              "Going to store to file from address 0x000200\n"
              "End of data, last address: 0x000204. \nStored 2 locations in file.\n");
}

TEST_F(MemoryFile, ReadBlockToFileGoesInPiecesOf1400) {
    for (uint32_t i = 0; i < 3000; ++i) device.memory[0x4000 + i] = uint8_t(i * 7);
    std::string p = path("block.bin");
    EXPECT_EQ(read_block_to_file(link, 0x4000, 3000, p.c_str()), 3000);
    auto reads = sent_with(OPCODE_READ_MEMORY);
    ASSERT_EQ(reads.size(), 3u);
    EXPECT_EQ(frame_length_field(reads[0]) - 12, 1400);
    EXPECT_EQ(frame_length_field(reads[1]) - 12, 1400);
    EXPECT_EQ(frame_length_field(reads[2]) - 12, 200);
    EXPECT_EQ(frame_address(reads[2]), 0x4000u + 2800);
    auto expected = device.bytes(0x4000, 3000);
    EXPECT_EQ(contents(p), std::string(expected.begin(), expected.end()));
}

TEST_F(MemoryFile, ReadBlockToFileFailures) {
    EXPECT_EQ(read_block_to_file(link, 0, 10, nullptr), 0);
    capture_stdout();
    EXPECT_EQ(read_block_to_file(link, 0, 10, path("no/dir").c_str()), 0);
    EXPECT_EQ(captured_stdout(), "ERROR: file could not be created\n");
    device.silent = true;
    capture_stderr();
    EXPECT_EQ(read_block_to_file(link, 0x40, 10, path("b").c_str()), 0);
    EXPECT_EQ(captured_stderr(), "Failed to read buffer of size 0 from 40\n");
}

TEST_F(MemoryFile, WriteBlockFromFile) {
    std::string data(3000, '\0');
    for (size_t i = 0; i < data.size(); ++i) data[i] = char(i * 13);
    std::string p = file("in.bin", data);
    EXPECT_EQ(write_block_from_file(link, 0x6000, p.c_str()), 3000);
    auto expected = device.bytes(0x6000, 3000);
    EXPECT_EQ(std::string(expected.begin(), expected.end()), data);
    EXPECT_EQ(sent_with(OPCODE_WRITE_MEMORY).size(), 3u);
}

TEST_F(MemoryFile, ShortWritesGoOnFromTheReportedCount) {
    device.short_write = 1000;
    std::string data(1500, '\0');
    for (size_t i = 0; i < data.size(); ++i) data[i] = char(i * 3 + 1);
    std::string p = file("in.bin", data);
    EXPECT_EQ(write_block_from_file(link, 0x6000, p.c_str()), 1500);
    auto writes = sent_with(OPCODE_WRITE_MEMORY);
    ASSERT_EQ(writes.size(), 3u);  // 1400 (1000 taken), the other 400, then 100
    EXPECT_EQ(frame_address(writes[1]), 0x6000u + 1000);
    auto expected = device.bytes(0x6000, 1500);
    EXPECT_EQ(std::string(expected.begin(), expected.end()), data);
}

TEST_F(MemoryFile, WriteBlockFromFileEdges) {
    std::string empty = file("empty", "");
    EXPECT_EQ(write_block_from_file(link, 0, empty.c_str()), 0);
    EXPECT_TRUE(link.sent.empty());
    EXPECT_EQ(write_block_from_file(link, 0, nullptr), 0);
    std::string missing = path("missing");
    capture_stdout();
    EXPECT_EQ(write_block_from_file(link, 0, missing.c_str()), 0);
    EXPECT_EQ(captured_stdout(), "ERROR: file could not be opened 2 " + missing + "\n");
    std::string p = file("in", "abcd");
    device.silent = true;
    capture_stderr();
    EXPECT_EQ(write_block_from_file(link, 0x10, p.c_str()), 0);
    EXPECT_EQ(captured_stderr(), "Failed to write buffer of size 0 to 10\n");
}

}  // namespace
