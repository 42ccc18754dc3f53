#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "output_capture.h"
#include "scripted_link.h"
#include "settings/settings.h"
#include "startup/startup.h"
#include "stdin_feed.h"
#include "stop_lines.h"
#include "stop/stop_request.h"
#include "zdp/zdp_client.h"

// Start-up run in process on a link substitute: the exit codes that need an
// interface list, a filter or a mode.
namespace {

const uint8_t PC_MAC[6] = {0x02, 0x00, 0x00, 0x00, 0x00, 0x42};

int lookup_pc_mac(const uint8_t*, uint8_t mac[6]) {
    std::memcpy(mac, PC_MAC, 6);
    return 1;
}
int lookup_nothing(const uint8_t*, uint8_t*) { return 0; }

// A link that opens and filters but reports itself closed, so the test
// protocol refuses to bind.
class ClosedLookingLink : public ScriptedLink {
public:
    int is_open() override { return 0; }
};

struct StartupOutcome {
    int status;
    std::string output;
};

StartupOutcome start(std::vector<std::string> arguments, ScriptedLink& link, const std::string& typed = "",
        const MacLookup& lookup = lookup_pc_mac) {
    arguments.insert(arguments.begin(), "hostlink");
    std::vector<char*> argv;
    for (std::string& a : arguments) argv.push_back(a.data());
    argv.push_back(nullptr);
    ZdpClient zdp;
    StdinFeed feed(typed);
    capture_stdout();
    const int status = run_hostlink(static_cast<int>(arguments.size()), argv.data(), link, zdp, lookup);
    return {status, captured_stdout()};
}

ScriptedLink::Interface entry(const char* name, uint8_t last_octet, bool has_address = true) {
    ScriptedLink::Interface e;
    e.description = name;
    e.has_address = has_address;
    const uint8_t address[4] = {192, 0, 2, last_octet};
    std::memcpy(e.address, address, 4);
    return e;
}

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

struct StatusCase {
    const char* name;
    std::vector<std::string> arguments;
    const char* typed;
    int status;
    const char* expected_line;
};

TEST(StartupRun, StatusCodesOfTheRun) {
    const StatusCase cases[] = {
        {"no interface for -a", {"-m", "1", "-a", "192.0.2.99", "-s", "x"}, "", -4,
         "ERROR: Failed to select Network interface\n"},
        {"typed number out of range", {"-m", "1"}, "9\n", -8, "ERROR: Invalid NIC number, aborting\n"},
        {"chosen entry has no address", {"-m", "1"}, "2\n", -10,
         "\nERROR - failed to get selected Interface Ip Address (0x109)\n"},
        {"firmware fails", {"-m", "1", "-a", "192.0.2.2", "-l", "/nonexistent/fw.dat"}, "", -12,
         "ERROR - failed to download firmware\n"},
        {"script fails, reported at debug 1", {"-d1", "-m", "1", "-a", "192.0.2.2", "-s", "/nonexistent/s.txt"}, "",
         -77, "ERROR: Failed to run script file /nonexistent/s.txt\n"},
    };
    for (const StatusCase& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedLink link;
        link.open = false;
        link.interfaces = {entry("hl0", 2), entry("hl1", 3), entry("tap", 0, false)};
        const StartupOutcome r = start(c.arguments, link, c.typed);
        EXPECT_EQ(r.status, c.status);
        EXPECT_TRUE(contains(r.output, c.expected_line)) << r.output;
        EXPECT_FALSE(link.open) << "the link is closed on the way out";
    }
}

TEST(StartupRun, ScriptFailureIsSilentBelowDebugOne) {
    ScriptedLink link;
    link.interfaces = {entry("hl0", 2)};
    const StartupOutcome r = start({"-m", "1", "-a", "192.0.2.2", "-s", "/nonexistent/s.txt"}, link);
    EXPECT_EQ(r.status, -77);
    EXPECT_FALSE(contains(r.output, "ERROR: Failed to run script file"));
}

struct LinkFailureCase {
    const char* name;
    void (*prepare)(ScriptedLink& link);
    std::vector<std::string> arguments;
    MacLookup lookup;
    int status;
    const char* output;  // exact output, or nullptr
};

TEST(StartupRun, FailuresOfTheLink) {
    const LinkFailureCase cases[] = {
        {"interface list not obtained", [](ScriptedLink& l) { l.initialize_status = ZDK_FAILED_QUERY_INTERFACE; },
         {"-m", "1"}, lookup_pc_mac, -3, "ERROR: Failed to init\n"},
        {"empty list from the menu", [](ScriptedLink&) {}, {"-m", "1"}, lookup_pc_mac, -6, nullptr},
        {"open fails from the menu",
         [](ScriptedLink& l) {
             l.interfaces = {entry("hl0", 2)};
             l.open_status = ZDK_INTERFACE_FAIL;
         },
         {"-m", "1"}, lookup_pc_mac, -9, nullptr},
        {"no MAC from the menu", [](ScriptedLink& l) { l.interfaces = {entry("hl0", 2)}; }, {"-m", "1"},
         lookup_nothing, -11, nullptr},
        {"filter refused",
         [](ScriptedLink& l) {
             l.interfaces = {entry("hl0", 2)};
             l.fail_filters = true;
         },
         {"-m", "1", "-a", "192.0.2.2", "-s", "x"}, lookup_pc_mac, -5, "\nERROR - failed to set MAC filters\n"},
    };
    for (const LinkFailureCase& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedLink link;
        c.prepare(link);
        const StartupOutcome r = start(c.arguments, link, "", c.lookup);
        EXPECT_EQ(r.status, c.status);
        if (c.output != nullptr) {
            EXPECT_EQ(r.output, c.output);
        }
    }
}

TEST(StartupRun, ZdpBindFailureIsMinusSix) {
    ClosedLookingLink link;
    link.interfaces = {entry("hl0", 2)};
    const StartupOutcome r = start({"-m", "1", "-a", "192.0.2.2", "-s", "x"}, link);
    EXPECT_EQ(r.status, -6);
    EXPECT_EQ(r.output, "ERROR: Failed to initialize ZDP\n");
}

TEST(StartupRun, ScriptModeWithSuffixSevenInstallsDeviceFilterWithoutBanner) {
    ScriptedLink link;
    link.interfaces = {entry("hl0", 2)};
    const StartupOutcome r = start({"-m", "7", "-a", "192.0.2.2", "-s", "/nonexistent/s.txt"}, link);
    const uint8_t expected_device[6] = {0x0A, 0x3F, 0x71, 0x00, 0x00, 0x07};
    EXPECT_EQ(std::memcmp(device_mac, expected_device, 6), 0);
    EXPECT_EQ(std::memcmp(link.local_mac, PC_MAC, 6), 0);
    EXPECT_FALSE(contains(r.output, "*****"));
    ASSERT_EQ(link.filters.size(), 1u);
    EXPECT_EQ(link.filters[0],
              "ether dst 02:00:00:00:00:42 and ether src 0a:3f:71:00:00:07 and ether proto 0x886c");
}

TEST(StartupRun, SettingsFromOptions) {
    ScriptedLink link;
    link.interfaces = {entry("hl0", 2)};
    start({"-q", "-d", "3", "-M", "02-AB-cd-00-11-FF", "-a", "192.0.2.2", "-s", "x"}, link);
    EXPECT_EQ(stop_on_failure, 1);
    EXPECT_EQ(cert_verbose, 1);
    EXPECT_EQ(debug_level, 3);
    const uint8_t expected_device[6] = {0x02, 0xAB, 0xCD, 0x00, 0x11, 0xFF};
    EXPECT_EQ(std::memcmp(device_mac, expected_device, 6), 0);

    start({"-c", "-M", "0a:3f:71:00:00:01", "-M", "0a:3f:71:00:00:09", "-a", "192.0.2.2", "-s", "x"}, link);
    EXPECT_EQ(stop_on_failure, 0);
    EXPECT_EQ(cert_verbose, 1);
    EXPECT_EQ(debug_level, 0);
    EXPECT_EQ(device_mac[5], 0x09) << "a repeated option takes its last value";
}

// A stop asked for while the mode runs (here by the device's link as the
// G line's frame goes out) ends the run as stopped: what was printed is
// kept, the next line does not run, the mode's failure line is left out,
// one line names the signal on standard error, the status is 128 + it.
TEST(StartupRun, StoppedRunEndsWithTheSignalsStatus) {
    char path[] = "/tmp/stopped_run_XXXXXX";
    const int descriptor = mkstemp(path);
    ASSERT_GE(descriptor, 0);
    const std::string script = "PRINT,0,before\nG,0\nPRINT,0,after\n";
    ASSERT_EQ(write(descriptor, script.data(), script.size()), static_cast<ssize_t>(script.size()));
    close(descriptor);
    for (const StopLine& c : STOP_LINES) {
        SCOPED_TRACE(c.line);
        ScriptedLink link;
        link.interfaces = {entry("hl0", 2)};
        link.responder = [&c](const ScriptedLink::Frame&, std::deque<ScriptedLink::Frame>&) {
            request_stop(c.signal_number);
        };
        capture_stderr();
        const StartupOutcome r = start({"-d1", "-m", "1", "-a", "192.0.2.2", "-s", path}, link);
        const std::string errors = captured_stderr();
        request_stop(0);
        EXPECT_EQ(r.status, 128 + c.signal_number);
        EXPECT_EQ(r.output, "before\n");
        EXPECT_EQ(errors, c.line);
        EXPECT_EQ(link.sent.size(), 1u);
        EXPECT_FALSE(link.open);
    }
    std::remove(path);
}

}  // namespace
