#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "run_program.h"

// The real program, run with a command line; its output and exit status.
namespace {

const std::string PROGRAM = HOSTLINK_BINARY;

std::string usage_text() {
    return "\nUsage: " + PROGRAM +
           " [ -d OUI (hex) ] [ -i inum] -m mac-suffix|-M Full-Mac\n"
           "\t [-s <ScriptPath> -a <IpAddress>] -l <fw-file>\n"
           "Explanation:\n"
           "-i  -   Interface menu number as appearing on hostlink startup menu\n"
           "-m  -   Mac address suffix in decimal or hex (0xAA) format\n"
           "-M  -   Mac address in XX:XX:XX:XX:XX:XX or XX-XX-XX-XX-XX-XX format\n"
           "-s  -   A script file path to be executed and then exit (must use also -a)\n"
           "-a  -   Interface IP address\n"
           "-w  -   Start hostlink in wait for script mode (menu 2), must use -a as well\n"
           "-l  -   Download firmware file to EVM\n"
           "-d  -   Debug mode, prints more messages\n"
           "-c  -   CERT versose mode\n"
           "-v  -   Print version\n"
           "CERT Verbose Mode:\n"
           " A CERT test will print test results in a space delimited columns\n"
           " Column description as they appear:\n"
           "[TX: PACKETS BYTES ERRORS TIME] [RX: SNR PER PE PACKETS BYTES SEQ_MISS SEQ_ERR DATA_ERR FCS_ERR HDR_ERR "
           "ERR TIME]\n"
           "\n";
}

const std::string NEED_ADDRESS = "You must supply device address (full -M or suffix -m)\n";
const std::string NO_INTERFACE = "ERROR: Failed to select Network interface\n";
// 192.0.2.77 is held by no interface of a test machine.
const std::string ABSENT_ADDRESS = "192.0.2.77";

struct ExactCase {
    const char* name;
    std::vector<std::string> arguments;
    std::string output;
    int status;
};

TEST(CommandLine, ExactOutputAndStatus) {
    const std::string long_path(260, 'p');
    const std::string longest_path(259, 'p');
    const ExactCase cases[] = {
        {"no arguments", {}, NEED_ADDRESS + usage_text(), 1},
        {"both -M and -m", {"-M", "0a:3f:71:00:00:02", "-m", "3"}, NEED_ADDRESS + usage_text(), 1},
        {"first element not an option", {"run", "-m", "3"}, NEED_ADDRESS + usage_text(), 1},
        {"-- ends the options", {"--", "-m", "3"}, NEED_ADDRESS + usage_text(), 1},
        {"five-character suffix", {"-m", "0x123"},
         "ERROR: invalid mac suffix, enter a number (HEX/DEC) between 0-255\n", 255},
        {"short MAC", {"-M", "0a:3f:71:00:00"}, "ERROR: invalid MAC address 0a:3f:71:00:00\n", 255},
        {"MAC with one-digit groups that reading at fixed places would overrun", {"-M", "a:b:c:d:e"},
         "ERROR: invalid MAC address a:b:c:d:e\n", 255},
        {"MAC too long", {"-M", "0a:3f:71:00:00:011"}, "ERROR: invalid MAC address 0a:3f:71:00:00:011\n", 255},
        {"MAC with other characters", {"-M", "0a:3f:71:00:0g:01"}, "ERROR: invalid MAC address 0a:3f:71:00:0g:01\n",
         255},
        {"three-field address", {"-m", "1", "-a", "1.2.3"}, "ERROR: invalid IP address 1.2.3\n", 255},
        {"0.0.0.0 counts as no address", {"-m", "1", "-a", "0.0.0.0", "-s", "x.txt"},
         "When using auto options (-s or -w) you must supply ipaddress\n", 254},
        {"grouped -wc without address", {"-wc", "-m", "1"},
         "When using auto options (-s or -w) you must supply ipaddress\n", 254},
        {"debug level 4", {"-d", "4", "-m", "1"}, "ERROR: invalid debug level\n" + usage_text(), 1},
        {"debug level -1", {"-d-1", "-m", "1"}, "ERROR: invalid debug level\n" + usage_text(), 1},
        {"-h", {"-m", "1", "-h"}, usage_text(), 1},
        {"unknown letter", {"-m", "1", "-x"}, usage_text(), 1},
        {"colon as a letter", {"-:", "-m", "1"}, usage_text(), 1},
        {"missing argument", {"-m"}, usage_text(), 1},
        {"failing option stops parsing", {"-m", "0x1234", "-x"},
         "ERROR: invalid mac suffix, enter a number (HEX/DEC) between 0-255\n", 255},
        {"script path of 260 characters", {"-m", "1", "-a", "1.2.3.4", "-s", long_path},
         "ERROR: script path longer than 259 characters\n", 255},
        {"firmware path of 260 characters", {"-m", "1", "-l", long_path},
         "ERROR: firmware path longer than 259 characters\n", 255},
        {"script mode with suffix 7: no banner", {"-m", "7", "-a", ABSENT_ADDRESS, "-s", longest_path},
         NO_INTERFACE, 252},
        {"slash options", {"/m", "7", "/a", ABSENT_ADDRESS, "/s", "x"}, NO_INTERFACE, 252},
        {"attached arguments", {"-m7", "-a" + ABSENT_ADDRESS, "-sx"}, NO_INTERFACE, 252},
    };
    for (const ExactCase& c : cases) {
        SCOPED_TRACE(c.name);
        const ProgramRun run = run_program(PROGRAM, c.arguments);
        EXPECT_EQ(run.output, c.output);
        EXPECT_EQ(run.status, c.status);
    }
}

struct VersionCase {
    std::vector<std::string> arguments;
};

TEST(CommandLine, VersionEndsAtOnce) {
    const std::regex version(
        "\nhostlink version 1\\.3\\.2\\.10\nBuilt on [A-Z][a-z]{2} [ 0-9]\\d \\d{4} \\d{2}:\\d{2}:\\d{2}\n");
    const std::vector<std::vector<std::string>> cases = {
        {"-v"}, {"-vz"}, {"-v", "-z"}, {"/v"}, {"-m", "1", "-v", "-d", "9"}, {"-cv"}};
    for (const auto& arguments : cases) {
        const ProgramRun run = run_program(PROGRAM, arguments);
        EXPECT_TRUE(std::regex_match(run.output, version)) << run.output;
        EXPECT_EQ(run.status, 0);
    }
}

struct BannerCase {
    std::vector<std::string> arguments;
    const char* device;
};

TEST(CommandLine, BannerShowsDeviceAddress) {
    const BannerCase cases[] = {
        {{"-m", "300", "-a", ABSENT_ADDRESS, "-w"}, "0a:3f:71:00:00:2c"},
        {{"-m", "0x2b", "-a", ABSENT_ADDRESS}, "0a:3f:71:00:00:2b"},
        {{"-m", "010", "-a", ABSENT_ADDRESS}, "0a:3f:71:00:00:08"},
        {{"-m", "zz", "-a", ABSENT_ADDRESS}, "0a:3f:71:00:00:00"},
        {{"-M", "02-AB-cd-00-11-FF", "-a", ABSENT_ADDRESS}, "02:ab:cd:00:11:ff"},
        {{"-i", "3", "-M", "0a:3f:71:00:00:09", "-a", ABSENT_ADDRESS}, "0a:3f:71:00:00:09"},
    };
    const std::regex banner(
        "\n\\*{39}\n1\\.3\\.2\\.10\n\\*\n\\*  Built on .{20}\n\\*  Talvenrick Communications Ltd\n\\*\n"
        "\\*  Connecting device: ([0-9a-f:]{17})\n\\*\n\\*{39}\n\n" +
        NO_INTERFACE);
    for (const BannerCase& c : cases) {
        const ProgramRun run = run_program(PROGRAM, c.arguments);
        std::smatch match;
        ASSERT_TRUE(std::regex_match(run.output, match, banner)) << run.output;
        EXPECT_EQ(match[1].str(), c.device);
        EXPECT_EQ(run.status, 252);
    }
}

}  // namespace
