#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "fake_device.h"
#include "hostif/host_interface.h"
#include "hostif/pause.h"
#include "output_capture.h"
#include "script/script.h"
#include "script/script_operations.h"
#include "settings/settings.h"
#include "stop/stop_request.h"
#include "zdp/zdp_client.h"

namespace {

std::vector<uint32_t> sleeps;
std::vector<std::string> calls;

void record_sleep(uint32_t milliseconds) { sleeps.push_back(milliseconds); }
// A sleep that a signal cuts short.
void stopped_sleep(uint32_t milliseconds) {
    record_sleep(milliseconds);
    request_stop(SIGINT);
}
void no_pause(int) {}

class ReplayRecordingLink : public ScriptedLink {
public:
    std::vector<std::string> replayed;
    ZdkStatus replay_file(const char* path) override {
        replayed.emplace_back(path);
        return ZDK_UNSUCCESSFUL;
    }
};

struct Outcome {
    int result;
    std::string output;
};

class RunScript : public ::testing::Test {
protected:
    ReplayRecordingLink link;
    FakeDevice device{link};
    ZdpClient zdp;
    ScriptOperations ops = default_script_operations();
    std::filesystem::path old_directory;
    std::filesystem::path directory;
    PauseFunction old_pause = nullptr;

    void SetUp() override {
        old_directory = std::filesystem::current_path();
        std::string pattern = (std::filesystem::temp_directory_path() / "run_script_XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        directory = pattern;
        std::filesystem::current_path(directory);
        reset_header_template();
        forget_reply_history();
        old_pause = set_pause_function(no_pause);
        debug_level = 0;
        stop_on_failure = 0;
        sleeps.clear();
        calls.clear();
        ops.sleep_ms = record_sleep;
    }

    void TearDown() override {
        request_stop(0);
        set_pause_function(old_pause);
        debug_level = 0;
        stop_on_failure = 0;
        std::filesystem::current_path(old_directory);
        std::filesystem::remove_all(directory);
    }

    static void write_file(const std::string& name, const std::string& content) {
        std::ofstream(name, std::ios::binary) << content;
    }

    static std::string read_file(const std::string& name) {
        std::ifstream in(name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    Outcome run_file(const char* path) {
        capture_stdout();
        int result = run_script_with(link, zdp, path, ops);
        std::fflush(stdout);
        return {result, captured_stdout()};
    }

    Outcome run(const std::string& script) {
        write_file("script.txt", script);
        return run_file("script.txt");
    }
};

struct ScriptCase {
    const char* what;
    const char* script;
    int debug;
    int result;
    const char* output;
};

TEST_F(RunScript, LineOutcomesAndResults) {
    const ScriptCase cases[] = {
        {"comments only", "; a\n\n  W,10,1\n#x\n", 0, -2, ""},
        {"comments only, debug 1", "; a\n", 1, -2, "ERROR: no commands in file.\n"},
        {"binary garbage is comment", "\x01\x02\xff\n\x80W,10,1\n", 0, -2, ""},
        {"tabgen line at debug 3", "W,0010,0000ABCD\n", 3, 1,
         "W,0x000010:0x0000abcd\nLoaded 1 commands from file.\n"},
        {"lower-case reset", "reset,0\n", 0, 1, ""},
        {"test command needs exact case", "start_send,0\n", 0, -2,
         "ERROR: bad OPCODE at line #0: \"start_send,0\n\", aborting...\n"},
        {"only the first letter counts", "Write,100,5\nPRINTOUT,0,done\n", 0, 2, "done\n"},
        {"no comma", "RESET\n", 1, -3,
         "ERROR: bad format at line #0: \"RESET\n\", aborting...\nERROR: Script file failed,\n"},
        {"print stops at comma", "PRINT,0,Hello, world\n", 0, 1, "Hello\n"},
        {"print without text goes on", "PRINT,0\nPRINT,0,x\n", 0, 2,
         "ERROR: failed to execute PRINT, line #0\nx\n"},
        {"unknown after good line", "; c\nW,10,1\nQ,1\nW,20,2\n", 0, 1,
         "ERROR: bad OPCODE at line #1: \"Q,1\n\", aborting...\n"},
        {"bad address", "W,10,1\nW,zz,1\n", 0, -3, "ERROR: bad ADDR32 at line #1: \"W,zz,1\n\", aborting...\n"},
        {"W without value", "W,10\n", 0, -3, "ERROR: bad format at line #0: \"W,10\n\", aborting...\n"},
        {"W with bad value", "W,10,xy\n", 0, -3, "ERROR: bad VAL32 at line #0: \"W,10,xy\n\", aborting...\n"},
        {"version needs address field", "GET_VERSION\n", 0, -3,
         "ERROR: bad format at line #0: \"GET_VERSION\n\", aborting...\n"},
        {"A without value stops unmarked", "W,10,1\nA,5\nW,20,2\n", 0, 1,
         "ERROR: bad format at line #1: \"A,5\n\", aborting...\n"},
        {"A with bad value stops unmarked", "A,5,q\n", 1, -2,
         "ERROR: bad VAL32 at line #0: \"A,5,q\n\", aborting...\nERROR: no commands in file.\n"},
        {"empty address reads 0", "RESET,\nG,\n", 0, 2, ""},
        {"CRLF line", "PRINT,0,crlf\r\n", 0, 1, "crlf\n"},
        {"hex stream without bytes", "WRITE_BLOCK,8000, \n", 0, -3,
         "ERROR: bad HEX stream at line #0: \"WRITE_BLOCK,8000, \n\", aborting...\n"},
        {"SET_MAC with five octets", "SET_MAC,0,02:00:00:00:07\n", 0, -3,
         "ERROR: bad format at line #0: \"SET_MAC,0,02:00:00:00:07\n\", aborting...\n"},
        {"S without length", "S,100,dump.txt\n", 0, -3,
         "ERROR: bad format at line #0: \"S,100,dump.txt\n\", aborting...\n"},
        {"S with bad length", "S,100,dump.txt,g\n", 0, -3,
         "ERROR: bad LEN32 at line #0: \"S,100,dump.txt,g\n\", aborting...\n"},
        {"READ_BLOCK_F without length", "READ_BLOCK_F,8000,out.bin\n", 0, -3,
         "ERROR: bad format at line #0: \"READ_BLOCK_F,8000,out.bin\n\", aborting...\n"},
        {"READ_BLOCK_F with bad length", "READ_BLOCK_F,8000,out.bin,x\n", 0, -3,
         "ERROR: bad LEN32 at line #0: \"READ_BLOCK_F,8000,out.bin,x\n\", aborting...\n"},
        {"READ_BLOCK_F length 0x40 reads as 0", "READ_BLOCK_F,8000,out.bin,0x40\n", 0, -3,
         "ERROR: Failed to read block from 8000 to file out.bin aborting...\n"},
        {"F without file", "F,0\n", 0, -3, "ERROR: bad format at line #0: \"F,0\n\", aborting...\n"},
        {"F with missing file", "W,10,1\nF,0, missing.txt\n", 1, -3,
         "ERROR: file \"missing.txt\" could not be accessed\nERROR: Script file failed,\n"},
        {"PLAY_FILE without name", "PLAY_FILE,0\n", 0, -3,
         "ERROR: bad format at line #0: \"PLAY_FILE,0\n\", aborting...\n"},
    };
    for (const ScriptCase& c : cases) {
        debug_level = c.debug;
        Outcome outcome = run(c.script);
        EXPECT_EQ(outcome.result, c.result) << c.what;
        EXPECT_EQ(outcome.output, c.output) << c.what;
    }
}

TEST_F(RunScript, MemoryLinesReachTheDevice) {
    device.set_word(0x827E, 0x1C23);
    device.set_word(0x8000, 0x12345678);
    device.set_word(LINK_STATUS_ADDRESS, 1);
    device.set_word(NETWORK_MODE_ADDRESS, 2);
    debug_level = 3;
    Outcome outcome = run(
        "W,0010,0000ABCD\n"
        "R,8000\n"
        "GET_VERSION,0\n"
        "QUERY_STATUS,0\n"
        "QUERY_MAC,0\n"
        "WRITE_BLOCK,9000,01 2 0x3 1ff\n"
        "SET_MAC,0,02-00-00-00-00-07\n"
        "A,5,77\n"
        "I,5\n");
    EXPECT_EQ(outcome.result, 9);
    EXPECT_EQ(outcome.output,
              "W,0x000010:0x0000abcd\n"
              "R,0x008000:0x12345678\n"
              "7.2.3\n"
              "link 1\nnetwork mode 2\n"
              "0a:3f:71:00:00:01\n"
              "Loaded 9 commands from file.\n");
    EXPECT_EQ(device.word(0x10), 0xABCDu);
    EXPECT_EQ(device.word(0x9000), 0xFF030201u);
    EXPECT_EQ(device.word(0x8060), 0x00000002u);
    EXPECT_EQ(device.memory[0x8065], 0x07);
    EXPECT_EQ(device.afe[5], 0x77);
}

TEST_F(RunScript, ShortMacWritesNothing) {
    run("SET_MAC,0,02:00:00:00:00\n");
    EXPECT_TRUE(device.requests.empty());
}

TEST_F(RunScript, DeviceFailuresMarkOrStopAsEachLineSays) {
    device.silent = {0x30, 0x40, 0x827E, 0x9000, 0x8060};
    device.answers_mac_query = false;
    struct Case {
        const char* script;
        int debug;
        int result;
        const char* output;
        uint32_t written_after;  // address the last line writes when the run went on
    };
    const Case cases[] = {
        {"W,30,1\nW,10,2\n", 0, -3, "ERROR: Failed to write address\n", 0x10},
        {"R,40\nW,14,2\n", 0, -3, "ERROR: failed to read memory\n", 0},
        {"I,40\nW,14,2\n", 0, -3, "ERROR: Failed to read AFE", 0},
        {"A,40,1\nW,14,2\n", 0, -3, "ERROR: Failed to write AFE\n", 0},
        {"QUERY_MAC,0\nW,18,2\n", 1, -3, "ERROR: Failed to query MAC\nERROR: Script file failed,\n", 0x18},
        {"QUERY_MAC,0\nW,1C,2\n", 0, -3, "", 0x1C},
        {"GET_VERSION,0\nW,20,2\n", 0, 2, "ERROR failed to query version\n", 0x20},
        {"WRITE_BLOCK,9000,1 2\nW,24,2\n", 0, -3, "ERROR: Write block failed\n", 0x24},
        {"SET_MAC,0,02:00:00:00:00:07\nW,28,2\n", 0, -3, "ERROR: failed to write MAC address\n", 0x28},
    };
    for (const Case& c : cases) {
        debug_level = c.debug;
        Outcome outcome = run(c.script);
        EXPECT_EQ(outcome.result, c.result) << c.script;
        EXPECT_EQ(outcome.output, c.output) << c.script;
        if (c.written_after) {
            EXPECT_EQ(device.word(c.written_after), 2u) << c.script;
        }
    }
    EXPECT_EQ(device.word(0x14), 0u);
}

TEST_F(RunScript, SleepReadsCNotation) {
    EXPECT_EQ(run("SLEEP,010\nSLEEP,0x10\nSLEEP,10\nSLEEP,0\n").result, 4);
    EXPECT_EQ(sleeps, (std::vector<uint32_t>{8, 16, 10}));
}

TEST_F(RunScript, FindDevicesListsTheAnswersAndFailsWhenNoneCame) {
    struct Case {
        const char* script;
        bool answers;
        int result;
        const char* output;
        int64_t listened_ms;  // how long the run listened for answers
    };
    const Case cases[] = {
        {"FIND_DEVICES,0\n", true, 1, "device 0a:3f:71:00:00:01\nfound 1 device(s)\n", 500},
        {"find_devices,\r\n", true, 1, "device 0a:3f:71:00:00:01\nfound 1 device(s)\n", 500},
        {"FIND_DEVICES,100\n", true, 1, "device 0a:3f:71:00:00:01\nfound 1 device(s)\n", 100},
        {"FIND_DEVICES,0x64 \n", true, 1, "device 0a:3f:71:00:00:01\nfound 1 device(s)\n", 100},
        {"FIND_DEVICES,10000\n", true, 1, "device 0a:3f:71:00:00:01\nfound 1 device(s)\n", 10000},
        // No answer: the line fails and the run goes on to its end.
        {"FIND_DEVICES,50\nW,10,2\n", false, -3, "found 0 device(s)\n", 50},
        {"FIND_DEVICES,10001\nW,10,2\n", true, -3,
         "ERROR: bad window at line #0: \"FIND_DEVICES,10001\n\", aborting...\n", 0},
        {"FIND_DEVICES,500,5\n", true, -3, "ERROR: bad window at line #0: \"FIND_DEVICES,500,5\n\", aborting...\n", 0},
        {"FIND_DEVICES,abc\n", true, -3, "ERROR: bad window at line #0: \"FIND_DEVICES,abc\n\", aborting...\n", 0},
        // Before this command existed the line ran a script named by its second field.
        {"Find_Devices,20,script.txt\n", true, -3,
         "ERROR: bad window at line #0: \"Find_Devices,20,script.txt\n\", aborting...\n", 0},
    };
    for (const Case& c : cases) {
        device.answers_mac_query = c.answers;
        device.memory.clear();
        ScriptedLink::now_us = 0;
        Outcome outcome = run(c.script);
        EXPECT_EQ(outcome.result, c.result) << c.script;
        EXPECT_EQ(outcome.output, c.output) << c.script;
        EXPECT_EQ(ScriptedLink::now_us / 1000, c.listened_ms) << c.script;
        if (c.answers) EXPECT_EQ(device.word(0x10), 0u) << c.script;
        else EXPECT_EQ(device.word(0x10), 2u) << c.script;
    }
}

TEST_F(RunScript, LongLineIsReadAsTwoLines) {
    std::string first = "PRINT,0," + std::string(511 - 8, 'a');
    std::string rest = std::string(600 - 511 - 7, 'b') + "\n";
    Outcome split = run(first + rest);
    EXPECT_EQ(split.result, -3);
    EXPECT_EQ(split.output, std::string(503, 'a') + "\nERROR: bad format at line #1: \"" + rest + "\", aborting...\n");

    Outcome command_after = run(first + "W,20,7\n");
    EXPECT_EQ(command_after.result, 2);
    EXPECT_EQ(device.word(0x20), 7u);
}

TEST_F(RunScript, MemoryFilesFromScriptLines) {
    device.set_word(0x100, 0x11);
    device.set_word(0x104, 0x22);
    write_file("words.txt", "1234\nABCD\n");
    std::string block;
    for (int i = 0; i < 3000; ++i) block.push_back(char(i * 7));
    write_file("block.bin", block);
    Outcome outcome = run(
        "S,100,dump.txt,2,text\n"
        "S,100,dump.bin,2\n"
        "Z,104,probe.bin,3,BIN\n"
        "L,200,words.txt\n"
        "N,300, words.txt\n"
        "WRITE_BLOCK_F,4000,block.bin\n"
        "READ_BLOCK_F,4000,back.bin,3000\n");
    EXPECT_EQ(outcome.result, 7) << outcome.output;
    EXPECT_EQ(read_file("dump.txt"), "00000100:00000011\n00000104:00000022\n");
    EXPECT_EQ(read_file("dump.bin"), std::string("\x11\0\0\0\x22\0\0\0", 8));
    EXPECT_EQ(read_file("probe.bin"), std::string("\x22\0\0\0\x22\0\0\0\x22\0\0\0", 12));
    EXPECT_EQ(device.word(0x200), 0x1234u);
    EXPECT_EQ(device.word(0x204), 0xABCDu);
    EXPECT_EQ(device.word(0x300), 0x34120000u);
    EXPECT_EQ(read_file("back.bin"), block);
}

TEST_F(RunScript, MemoryFileFailuresStopTheRun) {
    const ScriptCase cases[] = {
        {"load", "L,200,none.txt\nW,10,1\n", 0, -3,
         "ERROR: file could not be accessed\nERROR: failed to load file none.txt to address 0x200\n"},
        {"write block file", "WRITE_BLOCK_F,4000,none.bin\n", 0, -3, nullptr},
        {"store into a directory", "S,100,.,2\n", 0, -3, nullptr},
    };
    for (const ScriptCase& c : cases) {
        Outcome outcome = run(c.script);
        EXPECT_EQ(outcome.result, c.result) << c.what;
        if (c.output) {
            EXPECT_EQ(outcome.output, c.output) << c.what;
        }
    }
    EXPECT_EQ(device.word(0x10), 0u);
}

TEST_F(RunScript, NestedScriptsCountAsOneLine) {
    write_file("sub.txt", "W,40,4\nW,44,5\n");
    Outcome outcome = run("F,0,sub.txt\nW,48,6\n");
    EXPECT_EQ(outcome.result, 2);
    EXPECT_EQ(device.word(0x44), 5u);
    EXPECT_EQ(device.word(0x48), 6u);
}

// A stop ends the run after the line it cut short, nested runs and their
// parents alike: a failed run without a further line, the failure messages
// of the run and of a test command it cut short left out.
TEST_F(RunScript, StopEndsTheRunAfterTheLineItCutShort) {
    ops.sleep_ms = stopped_sleep;
    ops.test_command[int(ScriptCommand::STOP_SEND)] = [](ScriptTestContext&, const char*) {
        request_stop(SIGTERM);
        return std::string(" Failed to receive ACK\n");
    };
    write_file("inner.txt", "SLEEP,10\nPRINT,0,inner-after\n");
    const struct {
        const char* name;
        const char* script;
        const char* output;
    } cases[] = {
        {"in a SLEEP", "PRINT,0,before\nSLEEP,8000\nPRINT,0,after\n", "before\n"},
        {"in a nested script", "PRINT,0,outer\nF,0,inner.txt\nPRINT,0,after\n", "outer\n"},
        {"in a test command", "PRINT,0,before\nSTOP_SEND,02:00:00:00:00:07\nPRINT,0,after\n", "before\n"},
    };
    debug_level = 1;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        request_stop(0);
        const Outcome outcome = run(c.script);
        EXPECT_EQ(outcome.result, STOPPED_RESULT);
        EXPECT_EQ(outcome.output, c.output);
    }
}

// A device search whose window a stop cut short is no complete search: the
// device heard so far is not listed, nor a count.
TEST_F(RunScript, StoppedDeviceSearchListsNothing) {
    int receives = 0;
    link.on_receive = [&receives] {
        if (++receives == 3) request_stop(SIGHUP);
    };
    const Outcome outcome = run("FIND_DEVICES,1000\nPRINT,0,after\n");
    EXPECT_EQ(outcome.result, STOPPED_RESULT);
    EXPECT_EQ(outcome.output, "");
    EXPECT_LT(ScriptedLink::now_us, 1'000'000);
}

TEST_F(RunScript, ScriptThatRunsItselfEndsAtTheDepthLimit) {
    Outcome outcome = run("F,0,script.txt\n");
    EXPECT_EQ(outcome.result, -3);
    EXPECT_EQ(outcome.output,
              "ERROR: scripts nested deeper than 16 levels at line #0: \"F,0,script.txt\n\", aborting...\n");
}

TEST_F(RunScript, FilesThatCannotBeRun) {
    EXPECT_EQ(run_file(nullptr).result, -1);
    Outcome missing = run_file("absent.txt");
    EXPECT_EQ(missing.result, -5);
    EXPECT_EQ(missing.output, "ERROR: file \"absent.txt\" could not be accessed\n");
    mkdir("folder", 0700);
    Outcome folder = run_file("folder");
    EXPECT_EQ(folder.result, -9);
    EXPECT_EQ(folder.output, "ERROR: file \"folder\" could not be opened\n");
}

TEST_F(RunScript, FunctionFilesStopAtTheFirstFailure) {
    ops.load_function_file = [](EthernetLink&, const char* path) {
        calls.emplace_back(path);
        return calls.back() == "kit/fw/x3.hex" ? 0 : 40;
    };
    debug_level = 3;
    Outcome outcome = run("X,0, kit/fw\nW,10,1\n");
    EXPECT_EQ(outcome.result, -3);
    EXPECT_EQ(calls, (std::vector<std::string>{"kit/fw/x1.hex", "kit/fw/x2.hex", "kit/fw/x3.hex"}));
    EXPECT_EQ(outcome.output,
              "x1 result->40\nx2 result->40\nx3 result->0\nERROR: x3 result-> FAILURE\n"
              "W,0x000010:0x00000001\nERROR: Script file failed,\n");
    calls.clear();
    debug_level = 0;
    EXPECT_EQ(run("X,0,dir/\n").result, 1);
    EXPECT_EQ(calls.front(), "dir/x1.hex");
}

TEST_F(RunScript, FirmwareAndFlashLinesPassTheirFields) {
    ops.download_firmware = [](EthernetLink&, const char* path, int skip) {
        calls.push_back(std::string("fw ") + path + " " + std::to_string(skip));
        return 0;
    };
    ops.program_flash_binary = [](EthernetLink&, const char* path) {
        calls.push_back(std::string("flash ") + path);
        return -1;
    };
    ops.program_eeprom_binary = [](EthernetLink&, const char* path, int large) {
        calls.push_back(std::string("eeprom ") + path + " " + std::to_string(large));
        return 0;
    };
    ops.tx_cfg = [](EthernetLink&, const char* arguments) {
        calls.push_back(std::string("tx ") + arguments);
        return 0;
    };
    ops.calc_snr = [] {
        calls.push_back("snr");
        return 12.5;
    };
    const ScriptCase cases[] = {
        {"firmware fails", "LOAD_FW,1, fw.dat\nW,10,1\n", 0, -3, "ERROR - failed to load firmware file fw.dat"},
        {"abandoned flash wait fails the line", "PROG_F,0,img.bin\n", 0, -3,
         "ERROR: failed to program flash from file img.bin\n"},
        {"eeprom fails", "PROG_E,1,img.bin\n", 0, -3, "ERROR: failed to program eeprom from file img.bin\n"},
        {"tx config failure stops unmarked", "CALC_SNR,0\nTX_CFG,2,4,1,1000\nW,10,1\n", 0, 1, ""},
        {"file field missing", "LOAD_FW,1\n", 0, -3, "ERROR: bad format at line #0: \"LOAD_FW,1\n\", aborting...\n"},
    };
    for (const ScriptCase& c : cases) {
        Outcome outcome = run(c.script);
        EXPECT_EQ(outcome.result, c.result) << c.what;
        EXPECT_EQ(outcome.output, c.output) << c.what;
    }
    EXPECT_EQ(calls, (std::vector<std::string>{"fw fw.dat 1", "flash img.bin", "eeprom img.bin 1", "snr",
                                               "tx 2,4,1,1000\n"}));
    EXPECT_EQ(device.word(0x10), 0u);
}

TEST_F(RunScript, OperationsNotBuiltFailTheLine) {
    ScriptOperations bare;
    bare.sleep_ms = record_sleep;
    ops = bare;
    const char* lines[] = {"X,0,dir\n", "LOAD_FW,0,fw\n", "PROG_F,0,f\n", "PROG_E,0,f\n", "TX_CFG,1,2,1,64\n",
                           "CALC_SNR,0\n", "CONFIG_NODE,02:00:00:00:00:07\n", "GET_RX_PE,02:00:00:00:00:07\n"};
    for (const char* line : lines) {
        Outcome outcome = run(line);
        EXPECT_EQ(outcome.result, -3) << line;
        std::string word(line, std::string(line).find(','));
        EXPECT_EQ(outcome.output, "ERROR: " + word + " is not built into this hostlink yet, line #0: \"" + line +
                                      "\", aborting...\n");
    }
}

TEST_F(RunScript, TestCommandResultsAndQuitOnFailure) {
    ops.test_command[int(ScriptCommand::STOP_SEND)] = [](ScriptTestContext&, const char* arguments) {
        calls.push_back(std::string("stop ") + arguments);
        return std::string("failure : SA not recognised\n");
    };
    ops.test_command[int(ScriptCommand::ENABLE_CERT)] = [](ScriptTestContext&, const char*) {
        calls.push_back("enable");
        return std::string();
    };
    const char* script = "ENABLE_CERT,02:00:00:00:00:07\nSTOP_SEND,02:00:00:00:00:07 2000\nW,10,1\n";

    Outcome goes_on = run(script);
    EXPECT_EQ(goes_on.result, 3);
    EXPECT_EQ(goes_on.output, "Failure - failure : SA not recognised\n");
    EXPECT_EQ(calls, (std::vector<std::string>{"enable", "stop 02:00:00:00:00:07 2000\n"}));
    EXPECT_EQ(device.word(0x10), 1u);

    // Quit-on-failure ends the run as a failure: alone, after a failure
    // mark, and from inside a nested script (whose parent stops too).
    stop_on_failure = 1;
    device.silent = {0x20};
    write_file("sub.txt", script);
    struct QuitCase {
        const char* name;
        const char* script;
        int result;
        const char* output;
    };
    const QuitCase cases[] = {
        {"the stop", script, QUIT_ON_FAILURE_RESULT, "Failure - failure : SA not recognised\n"},
        {"after a write not taken", "W,20,1\nSTOP_SEND,02:00:00:00:00:07\nW,10,1\n", QUIT_ON_FAILURE_RESULT,
         "ERROR: Failed to write address\nFailure - failure : SA not recognised\n"},
        {"in a nested script", "F,0,sub.txt\nW,10,1\n", -3, "Failure - failure : SA not recognised\n"},
    };
    for (const QuitCase& c : cases) {
        device.set_word(0x10, 0);
        Outcome quits = run(c.script);
        EXPECT_EQ(quits.result, c.result) << c.name;
        EXPECT_EQ(quits.output, c.output) << c.name;
        EXPECT_EQ(device.word(0x10), 0u) << c.name;
    }
}

TEST_F(RunScript, QuitOnFailureThroughTheBuiltStopSend) {
    ASSERT_EQ(zdp.init(&link), ZDK_SUCCESS);
    stop_on_failure = 1;
    Outcome outcome = run("STOP_SEND,02:00:00:00:00:07\nW,10,1\n");
    EXPECT_EQ(outcome.result, QUIT_ON_FAILURE_RESULT);
    EXPECT_EQ(outcome.output, "Failure - failure : SA not recognised\n");
    EXPECT_EQ(device.word(0x10), 0u);
}

TEST_F(RunScript, BlockCommandsReadOnAndHandTheAckCount) {
    ops.test_command[int(ScriptCommand::CONFIG_SEND)] = [](ScriptTestContext& context, const char*) {
        char text[512];
        while (std::fgets(text, sizeof text, context.script)) {
            calls.emplace_back(text);
            if (std::string(text) == "CONFIG_SEND_END\n") break;
        }
        context.ack_count = 3;
        return std::string();
    };
    ops.test_command[int(ScriptCommand::START_SEND)] = [](ScriptTestContext& context, const char*) {
        calls.push_back("start " + std::to_string(context.ack_count));
        return std::string();
    };
    Outcome outcome = run("CONFIG_SEND,02:00:00:00:00:07\nnumacks=3\nW,50,1\nCONFIG_SEND_END\n"
                          "START_SEND,02:00:00:00:00:07\nW,54,1\n");
    EXPECT_EQ(outcome.result, 3);
    EXPECT_EQ(calls, (std::vector<std::string>{"numacks=3\n", "W,50,1\n", "CONFIG_SEND_END\n", "start 3"}));
    EXPECT_EQ(device.word(0x50), 0u);
    EXPECT_EQ(device.word(0x54), 1u);
}

TEST_F(RunScript, PlayFileReplaysTheSecondToken) {
    Outcome outcome = run("PLAY_FILE,0, capture.pcap\r\n");
    EXPECT_EQ(outcome.result, 1);
    EXPECT_EQ(link.replayed, (std::vector<std::string>{"capture.pcap"}));
}

TEST_F(RunScript, ResetStatsIsNotADeviceReset) {
    ops.test_command[int(ScriptCommand::RESET_STATS)] = [](ScriptTestContext&, const char* arguments) {
        calls.push_back(arguments);
        return std::string();
    };
    EXPECT_EQ(run("RESET_STATS,00:11:22:33:44:55\n").result, 1);
    EXPECT_EQ(calls, (std::vector<std::string>{"00:11:22:33:44:55\n"}));
    EXPECT_TRUE(device.requests.empty());
}

TEST_F(RunScript, EveryCommandOfThisBuildIsWired) {
    const ScriptOperations& built = default_script_operations();
    EXPECT_TRUE(built.download_firmware && built.program_flash_binary && built.program_eeprom_binary &&
                built.load_function_file && built.tx_cfg && built.calc_snr && built.sleep_ms);
    for (int i = 0; i < SCRIPT_COMMAND_COUNT; ++i) {
        auto command = static_cast<ScriptCommand>(i);
        if (is_test_command(command) && command != ScriptCommand::PLAY_FILE) {
            EXPECT_NE(built.test_command[i], nullptr) << command_name(command);
        }
    }
}

TEST_F(RunScript, ConfigNodeBlockIsReadByItsCommandAndTheRunGoesOnAfterIt) {
    ASSERT_EQ(zdp.init(&link), ZDK_SUCCESS);
    Outcome outcome = run("CONFIG_NODE,02:00:00:00:00:07 0\ntxpri=5\nlarq=1\nCONFIG_NODE_END\nW,10,1\n");
    EXPECT_EQ(outcome.result, 2) << outcome.output;
    EXPECT_EQ(device.word(0x10), 1u);
    int config_node_frames = 0;
    for (const ScriptedLink::Frame& frame : link.sent)
        if (frame.size() > 19 && frame[15] == 0x02 && frame[19] == 0x10) ++config_node_frames;
    EXPECT_EQ(config_node_frames, 2);
}

}  // namespace
