#include <gtest/gtest.h>

#include "core/interface_status.h"
#include "fakes.h"

namespace ndx {
namespace {

using test::FakeInterfaces;
using test::RecordingBoxes;

TEST(InterfaceTable, ListsAtMostTenNumberedFromOne)
{
    FakeInterfaces src;
    src.devices.clear();
    for (int i = 0; i < 12; ++i) src.devices.push_back({"eth" + std::to_string(i), "NIC " + std::to_string(i), ""});
    src.devices[0].ipv4 = "192.0.2.2";
    RecordingBoxes boxes;
    InterfaceTable table;
    std::vector<std::string> items;
    ASSERT_TRUE(fillInterfaceTable(src, boxes, table, items));
    ASSERT_EQ(table.size(), 10u);
    EXPECT_EQ(items[0], "1: NIC 0");
    EXPECT_EQ(items[9], "10: NIC 9");
    EXPECT_EQ(table[0].ipv4, "192.0.2.2");
    EXPECT_EQ(table[9].deviceName, "eth9");
}

TEST(InterfaceTable, ListingFailureShowsTheBoxAndLeavesItEmpty)
{
    FakeInterfaces src;
    src.devices = {{"eth0", "NIC", ""}};
    src.devicesOk = false;
    RecordingBoxes boxes;
    InterfaceTable table = {{"old", "old", "1.2.3.4"}};
    std::vector<std::string> items;
    EXPECT_FALSE(fillInterfaceTable(src, boxes, table, items));
    EXPECT_TRUE(table.empty());
    EXPECT_TRUE(items.empty());
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, "pcap_findalldevs error: Can't get the NIC information");
}

TEST(StatusRefresh, Cases)
{
    struct Case {
        Adapter adapter;
        bool ready;
        std::string text;
        PanelColour colour;
        bool dhcpWait;
    };
    const Case cases[] = {
        {{"hl0", "192.0.2.2", false}, true, " <fixed IP>: 192.0.2.2", PanelColour::Aqua, false},
        {{"hl0", "192.0.2.9", true}, true, " <dynamic IP>: 192.0.2.9", PanelColour::Aqua, false},
        {{"hl0", "0.0.0.0", true}, false, " <dynamic IP>:   ----  Not Ready", PanelColour::Red, true},
        {{"hl0", "0.0.0.0", false}, false, " <fixed IP>:   ----  Not Ready", PanelColour::Red, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        FakeInterfaces src;
        src.adapters = {{"other", "10.0.0.1", false}, c.adapter};
        RecordingBoxes boxes;
        InterfaceEntry entry{"veth", "hl0", ""};
        StatusPanel panel;
        bool dhcpWait = !c.dhcpWait;
        EXPECT_EQ(refreshStatus(src, boxes, &entry, panel, dhcpWait), c.ready);
        EXPECT_EQ(panel.text, c.text);
        EXPECT_EQ(panel.colour, c.colour);
        EXPECT_EQ(dhcpWait, c.dhcpWait);
        EXPECT_EQ(entry.ipv4, c.adapter.ipAddress);
    }
}

TEST(StatusRefresh, NoMatchOrNoEntryLeavesThePanel)
{
    FakeInterfaces src;
    src.adapters = {{"eth0", "10.0.0.1", false}};
    RecordingBoxes boxes;
    InterfaceEntry entry{"veth", "hl0", ""};
    StatusPanel panel{"before", PanelColour::Red};
    bool dhcpWait = true;
    EXPECT_FALSE(refreshStatus(src, boxes, &entry, panel, dhcpWait));
    EXPECT_FALSE(refreshStatus(src, boxes, nullptr, panel, dhcpWait));
    EXPECT_EQ(panel.text, "before");
    EXPECT_TRUE(dhcpWait);
    EXPECT_TRUE(boxes.shown.empty());

    src.adaptersOk = false;
    EXPECT_FALSE(refreshStatus(src, boxes, &entry, panel, dhcpWait));
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, "Call to WINAPI GetAdaptersInfo failed.\n");
}

}  // namespace
}  // namespace ndx
