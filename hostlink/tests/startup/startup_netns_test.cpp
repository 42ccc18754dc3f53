#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <regex>
#include <string>
#include <vector>

#include "device_port.h"
#include "run_program.h"
#include "startup/interface_selection.h"

// The real program on the namespace's veth pair: hl0 holds 192.0.2.2, dv0 has
// no address.
namespace {

const std::string PROGRAM = HOSTLINK_BINARY;

class OnVethPair : public testing::Test {
protected:
    void SetUp() override {
        if (getenv("HL_IFACE") == nullptr) GTEST_SKIP() << "needs the test namespace (run_in_netns.sh)";
    }
};

TEST_F(OnVethPair, MacLookupFindsHl0ByItsAddress) {
    const uint8_t address[4] = {192, 0, 2, 2};
    uint8_t mac[6] = {};
    ASSERT_EQ(lookup_interface_mac(address, mac), 1);
    EXPECT_EQ(std::vector<uint8_t>(mac, mac + 6), interface_mac("hl0"));
}

TEST_F(OnVethPair, ScriptModeReachesTheScriptAfterSelectionAndFilter) {
    const ProgramRun run = run_program(PROGRAM, {"-d", "1", "-m", "7", "-a", "192.0.2.2", "-s", "/nonexistent.txt"});
    EXPECT_EQ(run.status, exit_status_of(-77)) << run.output;
    EXPECT_NE(run.output.find("ERROR: Failed to run script file /nonexistent.txt\n"), std::string::npos);
}

TEST_F(OnVethPair, FirmwareFailureIsMinusTwelve) {
    const ProgramRun run = run_program(PROGRAM, {"-m", "7", "-a", "192.0.2.2", "-l", "/nonexistent.dat"});
    EXPECT_EQ(run.status, exit_status_of(-12)) << run.output;
    EXPECT_NE(run.output.find("ERROR - failed to download firmware\n"), std::string::npos);
}

// The menu lists both ends of the pair; dv0 has no address, so choosing it
// ends with -10 once it has been opened.
TEST_F(OnVethPair, MenuSelection) {
    const ProgramRun listing = run_program(PROGRAM, {"-m", "1"}, "9\n");
    EXPECT_EQ(listing.status, exit_status_of(-8)) << listing.output;
    std::smatch match;
    const std::regex dv0_line("\n(\\d)\\) Ip Address Not Available \\(0x109\\) \\(NAME: dv0\\)\n");
    ASSERT_TRUE(std::regex_search(listing.output, match, dv0_line)) << listing.output;
    const std::string dv0_number = match[1].str();
    EXPECT_TRUE(std::regex_search(listing.output, std::regex("\n\\d\\) 192\\.0\\.2\\.2\n")));
    EXPECT_NE(listing.output.find("\nSelect interface:(0-1)\nERROR: Invalid NIC number, aborting\n"),
              std::string::npos);

    const ProgramRun chosen = run_program(PROGRAM, {"-m", "1"}, dv0_number + "\n");
    EXPECT_EQ(chosen.status, exit_status_of(-10)) << chosen.output;
    EXPECT_NE(chosen.output.find("\nERROR - failed to get selected Interface Ip Address (0x109)\n"),
              std::string::npos);

    const std::string hl0_number = dv0_number == "0" ? "1" : "0";
    const ProgramRun menu = run_program(PROGRAM, {"-m", "1"}, hl0_number + "\n");
    EXPECT_NE(menu.output.find("Getting MAC address for 0x20200c0\n"), std::string::npos) << menu.output;
    EXPECT_EQ(menu.status, 0);
}

// In a user namespace nested below the one that owns the network, the
// loader has no capture rights on hl0: both ways of choosing the interface
// keep their status line and add libpcap's reason with the remedy on
// standard error, naming this very binary.
TEST_F(OnVethPair, MissingCaptureRightsAreDiagnosed) {
    if (run_program("/usr/bin/unshare", {"-U", "true"}).status != 0) GTEST_SKIP() << "no nested user namespace";
    char real[PATH_MAX];
    ASSERT_NE(realpath(PROGRAM.c_str(), real), nullptr);
    const std::string remedy =
        "; run as root or: sudo setcap cap_net_raw+ep " + std::string(real) + "\n";
    const struct {
        const char* arguments;
        const char* input;
        int status;
        const char* line;
    } cases[] = {
        {"-m 7 -a 192.0.2.2 -s /nonexistent.txt", "", -5, "\nERROR - failed to set MAC filters\n"},
        {"-m 7", "HL0\n", -9, "\nERROR - failed to set selected Network Interface (0x10a)\n"},
    };
    // The menu lists hl0 under a number that depends on the list order.
    const ProgramRun listing = run_program(PROGRAM, {"-m", "1"}, "9\n");
    std::smatch match;
    ASSERT_TRUE(std::regex_search(listing.output, match, std::regex("\n(\\d)\\) 192\\.0\\.2\\.2\n")));
    for (const auto& c : cases) {
        std::string input = c.input;
        if (input == "HL0\n") input = match[1].str() + "\n";
        const ProgramRun run = run_program(
            "/bin/sh", {"-c", "exec unshare -U " + PROGRAM + " " + c.arguments + " 2>&1"}, input);
        EXPECT_EQ(run.status, exit_status_of(c.status)) << run.output;
        EXPECT_NE(run.output.find(c.line), std::string::npos) << run.output;
        const std::size_t diagnosis = run.output.find("hostlink: cannot capture on hl0: ");
        ASSERT_NE(diagnosis, std::string::npos) << run.output;
        const std::string line = run.output.substr(diagnosis, run.output.find('\n', diagnosis) + 1 - diagnosis);
        EXPECT_NE(line.find("Operation not permitted"), std::string::npos) << line;
        EXPECT_EQ(line.substr(line.size() - remedy.size()), remedy);
    }
}

}  // namespace
