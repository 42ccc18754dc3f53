#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "output_capture.h"
#include "scripted_link.h"
#include "startup/interface_selection.h"
#include "settings/settings.h"
#include "stdin_feed.h"

namespace {

using Interface = ScriptedLink::Interface;

Interface with_address(const char* description, uint8_t a, uint8_t b, uint8_t c, uint8_t d) {
    Interface entry;
    entry.description = description;
    entry.address[0] = a;
    entry.address[1] = b;
    entry.address[2] = c;
    entry.address[3] = d;
    return entry;
}

Interface without_address(const char* description) {
    Interface entry;
    entry.description = description;
    entry.has_address = false;
    return entry;
}

const uint8_t LOOKED_UP_MAC[6] = {0x02, 0x11, 0x22, 0x33, 0x44, 0x55};

// A MAC lookup that answers from a list of outcomes, one per call, and
// remembers the addresses it was asked for.
struct FakeLookup {
    std::vector<int> outcomes;  // empty: always succeed
    std::vector<std::string> asked;
    MacLookup function() {
        return [this](const uint8_t address[4], uint8_t mac[6]) {
            asked.push_back(std::to_string(address[0]) + "." + std::to_string(address[1]) + "." +
                            std::to_string(address[2]) + "." + std::to_string(address[3]));
            const size_t call = asked.size() - 1;
            const int outcome = call < outcomes.size() ? outcomes[call] : 1;
            if (outcome == 1) std::memcpy(mac, LOOKED_UP_MAC, 6);
            return outcome;
        };
    }
};

struct MenuRun {
    int status;
    std::string output;
};

MenuRun run_menu_selection(ScriptedLink& link, const std::string& typed, FakeLookup& lookup, int preset = -1) {
    StdinFeed feed(typed);
    capture_stdout();
    const int status = select_interface_from_menu(link, preset, lookup.function());
    return {status, captured_stdout()};
}

class SelectionTest : public testing::Test {
protected:
    void SetUp() override {
        std::memset(pc_mac, 0, 6);
        link.open = false;
    }
    ScriptedLink link;
    FakeLookup lookup;
};

TEST_F(SelectionTest, SingleInterfaceIsTakenWithoutPrompt) {
    link.interfaces = {with_address("eth0", 10, 0, 0, 5)};
    const MenuRun run = run_menu_selection(link, "", lookup);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.output,
              "Please select Network Interface to connect:\n"
              "0) 10.0.0.5\n"
              "Getting MAC address for 0x500000a\n");
    EXPECT_EQ(link.opened_index, 0);
    EXPECT_EQ(std::memcmp(pc_mac, LOOKED_UP_MAC, 6), 0);
}

struct TypedChoice {
    const char* typed;
    int status;
    int opened_index;
    const char* tail;
};

TEST_F(SelectionTest, TypedChoiceAmongThree) {
    const TypedChoice cases[] = {
        {"2\n", 0, 2, "Getting MAC address for 0x304a8c0\n"},
        {"7\n", -8, -1, "ERROR: Invalid NIC number, aborting\n"},
        {"-1\n", -8, -1, "ERROR: Invalid NIC number, aborting\n"},
        {"ab\n", 0, 0, "Getting MAC address for 0x104a8c0\n"},
        {"1 and more text\n", 0, 1, "Getting MAC address for 0x204a8c0\n"},
        {"", -8, -1, "ERROR: Invalid NIC number, aborting\n"},
    };
    for (const TypedChoice& c : cases) {
        ScriptedLink three;
        three.open = false;
        three.interfaces = {with_address("a", 192, 168, 4, 1), with_address("b", 192, 168, 4, 2),
                            with_address("c", 192, 168, 4, 3)};
        const MenuRun run = run_menu_selection(three, c.typed, lookup);
        SCOPED_TRACE(c.typed);
        EXPECT_EQ(run.status, c.status);
        EXPECT_EQ(three.opened_index, c.opened_index);
        EXPECT_NE(run.output.find("0) 192.168.4.1\n1) 192.168.4.2\n2) 192.168.4.3\nSelect interface:(0-2)\n"),
                  std::string::npos);
        EXPECT_TRUE(run.output.size() >= std::strlen(c.tail) &&
                    run.output.compare(run.output.size() - std::strlen(c.tail), std::string::npos, c.tail) == 0)
            << run.output;
    }
}

TEST_F(SelectionTest, EntryWithoutAddressIsListedAndFailsWhenChosen) {
    link.interfaces = {without_address("tap-x"), with_address("eth1", 192, 0, 2, 2)};
    const MenuRun run = run_menu_selection(link, "0\n", lookup);
    EXPECT_EQ(run.status, -10);
    EXPECT_EQ(link.opened_index, 0);
    EXPECT_EQ(run.output,
              "Please select Network Interface to connect:\n"
              "0) Ip Address Not Available (0x109) (NAME: tap-x)\n"
              "1) 192.0.2.2\n"
              "Select interface:(0-1)\n"
              "\nERROR - failed to get selected Interface Ip Address (0x109)\n");
}

TEST_F(SelectionTest, OpenFailureAndLookupFailure) {
    link.interfaces = {with_address("eth0", 10, 0, 0, 5)};
    link.open_status = ZDK_INTERFACE_FAIL;
    MenuRun run = run_menu_selection(link, "", lookup);
    EXPECT_EQ(run.status, -9);
    EXPECT_NE(run.output.find("\nERROR - failed to set selected Network Interface (0x10a)\n"), std::string::npos);

    ScriptedLink other;
    other.interfaces = {with_address("eth0", 10, 0, 0, 5)};
    lookup.outcomes = {0};
    run = run_menu_selection(other, "", lookup);
    EXPECT_EQ(run.status, -11);
    EXPECT_NE(run.output.find("ERROR: failed to get mac address for 10.0.0.5 \nNIC Name: eth0\n"),
              std::string::npos);
}

TEST_F(SelectionTest, EmptyListEndsMenuSelection) {
    const MenuRun run = run_menu_selection(link, "", lookup);
    EXPECT_EQ(run.status, -6);
    EXPECT_EQ(run.output, "ERROR: No Network Interfaces found!(0x109)\n");
}

TEST_F(SelectionTest, PresetInRangeSkipsPromptOutOfRangeAsks) {
    link.interfaces = {with_address("a", 10, 0, 0, 1), with_address("b", 10, 0, 0, 2)};
    MenuRun run = run_menu_selection(link, "", lookup, 1);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(link.opened_index, 1);
    EXPECT_EQ(run.output.find("Select interface"), std::string::npos);

    run = run_menu_selection(link, "0\n", lookup, 5);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(link.opened_index, 0);
    EXPECT_NE(run.output.find("\nERROR interface selected - 5 - out of range\nPlease select from menu\n\n"
                              "Select interface:(0-1)\n"),
              std::string::npos);
}

TEST_F(SelectionTest, ByAddressTakesFirstEntryThatYieldsMac) {
    const uint8_t wanted[4] = {192, 0, 2, 2};
    link.interfaces = {with_address("a", 10, 0, 0, 1), with_address("b", 192, 0, 2, 2),
                       with_address("c", 192, 0, 2, 2), with_address("d", 192, 0, 2, 2)};
    lookup.outcomes = {0, 1};
    EXPECT_TRUE(select_interface_by_address(link, wanted, lookup.function()));
    EXPECT_EQ(link.opened_index, 2);
    EXPECT_EQ(lookup.asked, (std::vector<std::string>{"192.0.2.2", "192.0.2.2"}));
    EXPECT_EQ(std::memcmp(pc_mac, LOOKED_UP_MAC, 6), 0);
}

TEST_F(SelectionTest, ByAddressFailures) {
    const uint8_t wanted[4] = {192, 0, 2, 2};
    capture_stdout();
    EXPECT_FALSE(select_interface_by_address(link, wanted, lookup.function()));
    EXPECT_EQ(captured_stdout(), "ERROR: No Network Interfaces found!\n");

    link.interfaces = {without_address("a"), with_address("b", 192, 0, 2, 3)};
    capture_stdout();
    EXPECT_FALSE(select_interface_by_address(link, wanted, lookup.function()));
    EXPECT_EQ(captured_stdout(), "");
    EXPECT_EQ(link.opened_index, -1);
    EXPECT_TRUE(lookup.asked.empty());
}

TEST(MacLookup, FindsLoopbackAndRefusesUnknownAddress) {
    const uint8_t loopback[4] = {127, 0, 0, 1};
    const uint8_t unknown[4] = {192, 0, 2, 77};
    uint8_t mac[6] = {1, 1, 1, 1, 1, 1};
    EXPECT_EQ(lookup_interface_mac(unknown, mac), 0);
    EXPECT_EQ(mac[0], 1);
    EXPECT_EQ(lookup_interface_mac(loopback, mac), 1);
    const uint8_t zero[6] = {};
    EXPECT_EQ(std::memcmp(mac, zero, 6), 0);
}

}  // namespace
