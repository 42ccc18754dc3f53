#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fake_device.h"
#include "hostif/host_interface.h"
#include "hostif/pause.h"
#include "output_capture.h"
#include "script/console_input.h"
#include "script/menu.h"
#include "stdin_feed.h"
#include "text_count.h"
#include "zdp/zdp_client.h"

// The menu driven through its console input on a fake device.
namespace {

void skip_pause(int) {}

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class Menu : public testing::Test {
protected:
    ScriptedLink link;
    FakeDevice device{link};
    ZdpClient zdp;
    PauseFunction old_pause = nullptr;
    std::filesystem::path old_directory;
    std::filesystem::path directory;

    void SetUp() override {
        reset_header_template();
        forget_reply_history();
        old_pause = set_pause_function(skip_pause);
        old_directory = std::filesystem::current_path();
        std::string pattern = (std::filesystem::temp_directory_path() / "menu_XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        directory = pattern;
        std::filesystem::current_path(directory);
    }
    void TearDown() override {
        set_pause_function(old_pause);
        std::filesystem::current_path(old_directory);
        std::filesystem::remove_all(directory);
    }

    std::string run(const std::string& typed, int preset = -1) {
        StdinFeed feed(typed);
        capture_stdout();
        EXPECT_EQ(run_menu(link, zdp, preset), 0);
        return captured_stdout();
    }
};

const char* const LONG_ONLY[] = {
    "3.   query device address\n", "31.  query device status\n", "821. read memory block (by message)\n",
    "822. write memory block(by message)\n", "852. program flash\n", "853. program large eeprom\n",
    "854. program small eeprom\n", "855. erase flash\n", "856. load extension function file\n",
    "857. load extension function x1,x2,x3,x4\n", "858. load HW initialization\n", "860. load firmware file\n",
};

TEST_F(Menu, ShortListingFirstLongAfter911) {
    const std::string first = run("");
    EXPECT_EQ(first,
              "\nTalvenrick ZR8010 Diagnostics Application/Loader (MII Host Interface)\n\n"
              "12.  load memory from file\n"
              "13.  store memory to file (hex format)\n"
              "133. store memory to file (binary)\n"
              "14.  run memory script from file\n"
              "2.   wait for external memory script file\n"
              "482. test device packets loopback\n"
              "55.  send ACTIVATE message\n"
              "73.  read memory 32bit location (by message)\n"
              "74.  write memory 32bit location (by message)\n"
              "777. read serial AFE byte (hex)\n"
              "778. write serial AFE byte (hex)\n"
              "911. select long menu\n"
              "99.  exit this menu\n"
              "\nEnter: ");
    const std::string toggled = run("911\n");
    const std::string second = toggled.substr(first.size());
    for (const char* line : LONG_ONLY) EXPECT_TRUE(contains(second, line)) << line;
    EXPECT_TRUE(contains(second, "911. select short menu\n"));
    EXPECT_TRUE(contains(second, "2.   wait for external memory script file\n3.   query device address\n"
                                 "31.  query device status\n482."));
    const std::string back = run("911\n911\n");
    EXPECT_EQ(back.substr(back.size() - first.size()), first);
}

struct EntryCase {
    const char* typed;
    const char* expected;  // part of the output
    size_t listings;       // how often the menu is printed
};

TEST_F(Menu, EntriesMatchExactly) {
    const EntryCase cases[] = {
        {"12 \n", "Enter filename", 0},
        {"012\n", "Enter filename", 0},
        {"12\nf\n", "Enter filename (one 32-bit hex-decimal value per line): ", 1},
        {"12\nf\n0\n", "result->", 2},
        {"852\n/nonexistent.hex\n", "Enter filename: ", 2},
        {"99\n12\n", "Enter filename", 0},
    };
    for (const EntryCase& c : cases) {
        SCOPED_TRACE(c.typed);
        const std::string output = run(c.typed);
        if (c.listings == 0) {
            EXPECT_FALSE(contains(output, c.expected));
        } else {
            EXPECT_TRUE(contains(output, c.expected));
            EXPECT_EQ(count_of(output, "\nEnter: "), c.listings);
        }
    }
    EXPECT_EQ(count_of(run("12 \n"), "\nEnter: "), 2u) << "no match: the menu again";
    EXPECT_EQ(count_of(run("99\n12\n"), "\nEnter: "), 1u) << "99 leaves at once";
}

TEST_F(Menu, WordAndAfeEntries) {
    device.set_word(0x100, 0xFFFFFFFE);
    device.afe[5] = 0x5A;
    struct Case {
        const char* typed;
        const char* expected;
    };
    const Case cases[] = {
        {"73\n100\n", "Enter memory address (hex) : Value of memory location (0x000100) is 0xfffffffe (-2)\n"},
        {"74\n200\n0x10\n", "Enter new value : Value of memory location (0x000200) was set to 16 (0x00000010)\n"},
        {"74\n204\n12abc\n", "ERROR: Invalid input!\nValue of memory location (0x000204) was set to 12 (0x0000000c)\n"},
        {"777\n0x25\n", "Enter AFE register address (hex) : Value of AFE memory location (0x000005) is 0x0000005a (90)\n"},
        {"778\n23\n1ff\n", "Enter new value (hex) : \n"},
        {"74\n208\n-5\n", "Enter new value : Value of memory location (0x000208) was set to -5 (0xfffffffb)\n"},
        // An address that does not parse abandons a writing entry: the next
        // line is the menu's again.
        {"74\nzz\n5\n", "Enter memory address (hex) : ERROR: Invalid input!\n\nTalvenrick"},
        {"778\nzz\n1\n", "Enter AFE register address (hex) : ERROR: Invalid input!\n\nTalvenrick"},
        {"822\nzz\n01 02\n", "Enter memory address (hex) : ERROR: Invalid input!\n\nTalvenrick"},
        {"12\nwords.txt\nzz\n", "Enter memory address (hex) : ERROR: Invalid input!\n\nTalvenrick"},
        {"858\nwords.txt\nzz\n", "Enter memory address of HW init block (hex) : ERROR: Invalid input!\n\nTalvenrick"},
        // A read goes on with address 0.
        {"73\nzz\n", "ERROR: Invalid input!\nValue of memory location (0x000000) is 0x00000000 (0)\n"},
    };
    std::ofstream("words.txt") << "5\n";
    device.requests.clear();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        EXPECT_TRUE(contains(run(c.typed), c.expected)) << run(c.typed);
    }
    for (const FakeDevice::Request& request : device.requests) {
        const bool writes = request.opcode == OPCODE_WRITE_MEMORY || request.opcode == OPCODE_WRITE_SERIAL;
        EXPECT_FALSE(writes && request.address == 0) << "a write at address 0, opcode " << int(request.opcode);
    }
    EXPECT_EQ(device.word(0x200), 16u);
    EXPECT_EQ(device.word(0x204), 12u);
    EXPECT_EQ(device.word(0x208), 0xFFFFFFFBu);
    EXPECT_EQ(device.afe[3], 0xFF);
    EXPECT_EQ(device.afe.count(0x23), 0u) << "register numbers keep their low five bits";

    device.silent.insert(0x300);
    EXPECT_TRUE(contains(run("73\n300\n"), "ERROR: Failed to read address\n"));
    EXPECT_TRUE(contains(run("74\n300\n1\n"), "Failed to write address\n"));
}

TEST_F(Menu, BlockReadInPartsWithKeyAfterEach) {
    for (uint32_t i = 0; i < 0x300; ++i) device.memory[0x1000 + i] = static_cast<uint8_t>(i);
    device.requests.clear();
    const std::string output = run("821\n1000\n300\n4\n\nab");
    ASSERT_GE(device.requests.size(), 2u);
    EXPECT_EQ(device.requests[0], (FakeDevice::Request{2, 0x1000, 512}));
    EXPECT_EQ(device.requests[1], (FakeDevice::Request{2, 0x1200, 256}));
    EXPECT_EQ(count_of(output, "Press any key to continue\n"), 2u);
    EXPECT_TRUE(contains(output, "Enter file to dump [Enter to screen)\n\n1000: 03020100 07060504 0b0a0908 0f0e0d0c \n1010: "));
    EXPECT_TRUE(contains(output, "\n12f0: ff: ") == false);
    EXPECT_TRUE(contains(output, "\n12f0: f3f2f1f0 f7f6f5f4 fbfaf9f8 fffefdfc Press any key to continue\n"));
    EXPECT_EQ(count_of(output, "\nEnter: "), 2u) << "the two keys were taken by the dump, not by the menu";
}

TEST_F(Menu, BlockReadUnitsFileAndFailure) {
    for (uint32_t i = 0; i < 0x20; ++i) device.memory[0x40 + i] = static_cast<uint8_t>(0xA0 + i);
    std::string output = run("821\n40\n20\n3\n\n");
    EXPECT_FALSE(contains(output, "Press any key"));
    EXPECT_FALSE(contains(output, "\n40: "));

    output = run("821\n40\n12\n2\ndump.txt\n");
    EXPECT_FALSE(contains(output, "Press any key"));
    std::ifstream file("dump.txt");
    const std::string dumped((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    EXPECT_EQ(dumped, "\n40: a1a0 a3a2 a5a4 a7a6 a9a8 abaa adac afae \n50: b1b0 ");

    device.silent.insert(0x40);
    EXPECT_TRUE(contains(run("821\n40\n20\n1\n\n"), "ERROR: Read failed\n"));
}

// The file entries report a file write that falls short on standard error.
TEST_F(Menu, FileEntriesReportFailedWrites) {
    if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
    struct Case {
        const char* typed;
        const char* output;
    };
    const Case cases[] = {
        {"13\n/dev/full\n40\n2\n", "ERROR: not all data written to file.\nresult->-2\n"},
        {"133\n/dev/full\n40\n800\n", "ERROR: not all data written to file.\nresult->-2\n"},
        {"821\n40\n20\n1\n/dev/full\n", "Enter file to dump [Enter to screen)\n\nTalvenrick"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        capture_stderr();
        EXPECT_TRUE(contains(run(c.typed), c.output));
        EXPECT_EQ(captured_stderr(), "ERROR: failed to write /dev/full\n");
    }
}

TEST_F(Menu, BlockWrite) {
    std::string output = run("822\n300\n01 02 ff\n");
    EXPECT_FALSE(contains(output, "ERROR"));
    EXPECT_EQ(device.word(0x300), 0x00FF0201u);
    output = run("822\n300\nzz\n");
    EXPECT_TRUE(contains(output, "Enter data in space delimited bytes (hex) XX XX XX: ERROR: Write block failed\n"));
}

TEST_F(Menu, EraseOnlyOnExactYes) {
    device.requests.clear();
    std::string output = run("855\nyes\n");
    EXPECT_TRUE(contains(output, "Erase flash? (y/n) : "));
    EXPECT_FALSE(contains(output, "result->"));
    EXPECT_TRUE(device.requests.empty());
    output = run("855\ny\n");
    EXPECT_TRUE(contains(output, "result->0\n"));
    EXPECT_FALSE(device.requests.empty());
}

TEST_F(Menu, FunctionFilesGetSlashAndNumber) {
    const std::string output = run("857\n/nonexistent\n");
    for (int i = 1; i <= 4; ++i) EXPECT_TRUE(contains(output, "x" + std::to_string(i) + " result->0\n"));
}

// The device side of the loopback test: every frame comes back as it was.
class Loopback : public Menu {
protected:
    void SetUp() override {
        Menu::SetUp();
        link.responder = [this](const ScriptedLink::Frame& sent, std::deque<ScriptedLink::Frame>& replies) {
            if (echo) replies.push_back(trim ? ScriptedLink::Frame(sent.begin(), sent.end() - 1) : sent);
        };
    }
    bool echo = true;
    bool trim = false;
};

TEST_F(Loopback, SizesAreClampedOrRandom) {
    struct Case {
        const char* typed;
        size_t frames;
        size_t length;  // 0: random
    };
    const Case cases[] = {
        {"482\n2000\n2\n", 2, 1528},
        {"482\n10\n0\n", 1, 64},
        {"482\n100\n\n", 1, 100},
        {"482\n0\n40\n", 40, 0},
        {"482\n\n3\n", 3, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        link.sent.clear();
        const std::string output = run(c.typed);
        ASSERT_EQ(link.sent.size(), c.frames);
        bool lengths_vary = false;
        for (size_t i = 0; i < link.sent.size(); ++i) {
            const size_t length = link.sent[i].size();
            if (c.length != 0) {
                EXPECT_EQ(length, c.length);
            }
            EXPECT_GE(length, 64u);
            EXPECT_LE(length, 1499u + (c.length != 0 ? 29u : 0u));
            EXPECT_TRUE(contains(output, std::to_string(i) + ": " + std::to_string(length) + "=>\n"));
            if (length != link.sent[0].size()) lengths_vary = true;
            if (c.length == 0) {
                for (size_t b = 14; b < length; ++b) ASSERT_EQ(link.sent[i][b], static_cast<uint8_t>(b + length));
            }
        }
        if (c.length == 0 && c.frames > 10) {
            EXPECT_TRUE(lengths_vary);
        }
    }
    EXPECT_EQ(link.sent.size(), 3u);
}

TEST_F(Loopback, MissingAndShortEchoes) {
    trim = true;
    std::string output = run("482\n100\n1\n");
    EXPECT_TRUE(contains(output, "0: 100=>warning: actual data size mismatch 99 <> 100\n\n"));
    echo = false;
    output = run("482\n100\n3\n");
    EXPECT_TRUE(contains(output, "0: 100=>\nerror at packet #0\n"));
    EXPECT_FALSE(contains(output, "1: 100=>"));
}

TEST_F(Menu, EndOfInputAtEveryPromptEndsTheMenu) {
    const char* const cases[] = {
        "12\n",       "12\nfile\n",       "13\nf\n100\n",  "133\n",          "14\n",
        "482\n",      "482\n10\n",        "73\n",          "74\n100\n",      "777\n",
        "778\n1\n",   "821\n0\n10\n4\n",  "821\n0\n10\n",  "822\n0\n",       "852\n",
        "855\n",      "857\n",            "858\nf\n",      "860\n",          "12",
    };
    for (const char* typed : cases) {
        SCOPED_TRACE(typed);
        const std::string output = run(typed);
        EXPECT_EQ(count_of(output, "\nEnter: "), 1u);
        EXPECT_FALSE(contains(output, "result->"));
    }
    // At the key prompt of a dump: the menu ends too.
    const std::string dump = run("821\n0\n10\n4\n\n");
    EXPECT_TRUE(contains(dump, "Press any key to continue\n"));
    EXPECT_EQ(count_of(dump, "\nEnter: "), 1u);
}

TEST_F(Menu, OverlongAndBinaryInput) {
    std::string typed(100000, '7');
    typed += "\n";
    typed += std::string("\x00\xff\x01\n", 4);
    typed += "74\n" + std::string(5000, '1') + "\n" + std::string(5000, 'f') + "\n";
    const std::string output = run(typed);
    EXPECT_EQ(count_of(output, "\nEnter: "), 4u);
    EXPECT_TRUE(contains(output, "ERROR: Invalid input!\n"));
}

TEST_F(Menu, PresetTwoStartsWaitModeAndKeyGoesToMenu) {
    const std::string output = run("12\nrest", 2);
    const size_t waiting = output.find("waiting for script file \"script.txt\": ");
    ASSERT_NE(waiting, std::string::npos);
    EXPECT_LT(output.find("\nEnter: "), waiting) << "the menu is listed before the preset entry runs";
    EXPECT_TRUE(contains(output, "Enter filename (one 32-bit hex-decimal value per line): "))
        << "the key that ended the wait is the start of the menu's next input";
}

struct NumberCase {
    const char* typed;
    uint32_t value;
    bool invalid;
};

TEST(ConsoleInput, HexAndNumberReading) {
    const NumberCase hex_cases[] = {
        {"1f\n", 0x1F, false}, {"  0x25\n", 0x25, false}, {"FFFFFFFF\n", 0xFFFFFFFF, false},
        {"zz\n", 0, true},     {"\n", 0, true},           {"12 34\n", 0x12, false},
    };
    for (const NumberCase& c : hex_cases) {
        StdinFeed feed(c.typed);
        capture_stdout();
        EXPECT_EQ(read_console_hex(), c.value) << c.typed;
        EXPECT_EQ(contains(captured_stdout(), "ERROR: Invalid input!\n"), c.invalid) << c.typed;
    }
    const NumberCase number_cases[] = {
        {"0x10\n", 16, false},   {"010\n", 8, false},          {"12abc\n", 12, true}, {"12 x\n", 12, false},
        {"\n", 0, false},        {"99999999999\n", 0xFFFFFFFF, true}, {"abc\n", 0, true}, {"4294967295", 0xFFFFFFFF, false},
        // A minus sign negates modulo 2^32; only a magnitude past 32 bits overflows.
        {"-5\n", 0xFFFFFFFB, false}, {" -0x10\n", 0xFFFFFFF0, false}, {"-4294967295\n", 1, false},
        {"-4294967296\n", 0xFFFFFFFF, true}, {"--5\n", 0, true}, {"- 5\n", 0, true}, {"+7\n", 7, false},
    };
    for (const NumberCase& c : number_cases) {
        StdinFeed feed(c.typed);
        capture_stdout();
        EXPECT_EQ(read_console_number(), c.value) << c.typed;
        EXPECT_EQ(contains(captured_stdout(), "ERROR: Invalid input!\n"), c.invalid) << c.typed;
    }
    StdinFeed nothing("");
    bool ended = false;
    EXPECT_EQ(read_console_number(&ended), 0u);
    EXPECT_TRUE(ended);
}

TEST(ConsoleInput, DumpBlockUnitsAndPartialLastUnit) {
    const uint8_t data[20] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18};
    struct Case {
        int unit;
        int length;
        const char* text;
        int printed;
    };
    const Case cases[] = {
        {1, 3, "\nabc: 00 01 02 ", 3},
        {2, 4, "\nabc: 0100 0302 ", 4},
        {4, 19, "\nabc: 03020100 07060504 0b0a0908 0f0e0d0c \nacc: 00121110 ", 19},
        {3, 8, "", 0},
        {0, 8, "", 0},
    };
    for (const Case& c : cases) {
        std::FILE* file = std::tmpfile();
        EXPECT_EQ(dump_block(0xABC, data, c.length, file, c.unit), c.printed);
        std::rewind(file);
        char text[256] = "";
        const size_t n = std::fread(text, 1, sizeof text - 1, file);
        std::fclose(file);
        EXPECT_EQ(std::string(text, n), c.text) << c.unit;
    }
}

}  // namespace
