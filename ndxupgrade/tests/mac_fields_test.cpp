#include <gtest/gtest.h>

#include "core/mac_fields.h"
#include "core/pe_display.h"
#include "fakes.h"

namespace ndx {
namespace {

using test::RecordingBoxes;

const MacFields kGood = {"00", "01", "40", "00", "00", "01"};

TEST(MacFields, MacTextIsUpperCaseWithHyphens)
{
    EXPECT_EQ(macText({0x00, 0x01, 0x40, 0xAB, 0xcd, 0x01}), "00-01-40-AB-CD-01");
}

TEST(MacFields, Stepping)
{
    struct Case {
        std::string before;
        StepDirection dir;
        std::string after;
    };
    const Case cases[] = {
        {"FF", StepDirection::Up, "00"},   {"00", StepDirection::Down, "FF"},
        {"a", StepDirection::Up, "0B"},    {"0f", StepDirection::Up, "10"},
        {"10", StepDirection::Down, "0F"}, {"7", StepDirection::Down, "06"},
    };
    for (const Case& c : cases) {
        std::string field = c.before;
        EXPECT_TRUE(stepMacField(field, c.dir)) << c.before;
        EXPECT_EQ(field, c.after) << c.before;
    }
    for (std::string bad : {"", "G1", "-1", " 1"}) {
        std::string field = bad;
        EXPECT_FALSE(stepMacField(field, StepDirection::Up)) << bad;
        EXPECT_EQ(field, bad);
    }
    EXPECT_EQ(conversionErrorText("G1"), "'0xG1' is not a valid integer value");
}

TEST(MacFields, UpgradeCheck)
{
    struct Case {
        std::string ip;
        MacFields fields;
        const char* box;  // null: passes
    };
    const Case cases[] = {
        {"192.0.2.2", kGood, nullptr},
        {"", kGood, "Can't get the Interface IP"},
        {"192.0.2.2", {"00", "01", "4", "00", "00", "01"}, "Invalid MAC Address"},
        {"192.0.2.2", {"00", "G1", "40", "00", "00", "01"}, "Invalid MAC Address"},
        {"192.0.2.2", {"00", "01", "40", "00", "00", ""}, "Invalid MAC Address"},
        {"192.0.2.2", {"00", "01", "40", "00", "0x", "01"}, "Invalid MAC Address"},
    };
    for (const Case& c : cases) {
        RecordingBoxes boxes;
        std::string ip;
        MacAddress mac{};
        bool ok = checkUpgradeInputs(c.ip, c.fields, boxes, ip, mac);
        EXPECT_EQ(ok, c.box == nullptr) << c.ip;
        if (c.box) {
            ASSERT_EQ(boxes.shown.size(), 1u);
            EXPECT_EQ(boxes.shown[0].text, c.box);
            EXPECT_EQ(boxes.shown[0].caption, "Error");
            EXPECT_EQ(boxes.shown[0].icon, BoxIcon::Error);
        } else {
            EXPECT_TRUE(boxes.shown.empty());
            EXPECT_EQ(ip, "192.0.2.2");
            EXPECT_EQ(macText(mac), "00-01-40-00-00-01");
        }
    }
}

TEST(MacFields, DiagnosticCheckReadsLocalThenRemote)
{
    RecordingBoxes boxes;
    std::string ip;
    MacAddress local{}, remote{};
    MacFields remoteFields = {"00", "01", "40", "00", "00", "02"};
    ASSERT_TRUE(checkDiagnosticInputs("192.0.2.2", kGood, remoteFields, boxes, ip, local, remote));
    EXPECT_EQ(macText(local), "00-01-40-00-00-01");
    EXPECT_EQ(macText(remote), "00-01-40-00-00-02");

    remoteFields[5] = "2";
    EXPECT_FALSE(checkDiagnosticInputs("192.0.2.2", kGood, remoteFields, boxes, ip, local, remote));
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, "Invalid MAC Address");
}

TEST(MacFields, SplitMacText)
{
    MacFields f;
    ASSERT_TRUE(splitMacText("00-01-40-aa-00-01", f));
    EXPECT_EQ(f[3], "aa");
    ASSERT_TRUE(splitMacText("00:01:40:00:00:02", f));
    EXPECT_EQ(f[5], "02");
    EXPECT_FALSE(splitMacText("00-01-40-00-00", f));
    EXPECT_FALSE(splitMacText("00-01-40-00-00-01-02", f));
}

TEST(MacFields, WholeAddressAsPastedOrScanned)
{
    const MacFields expected = {"0A", "3F", "71", "00", "00", "07"};
    for (const char* text : {"0A3F71000007", "0a:3f:71:00:00:07", "0A-3F-71-00-00-07", "  0A3F71000007\n"}) {
        MacFields f = {"x", "x", "x", "x", "x", "x"};
        EXPECT_TRUE(parseFullMac(text, f)) << text;
        EXPECT_EQ(f, expected) << text;
    }
    for (const char* text : {"", "0A3F7100000", "0A3F710000077", "0A:3F:71:00:00", "0A3F7100000G", "0A:3F:71-00:00:07x",
                             "0A 3F 71 00 00 07", "0A::3F71000007"}) {
        MacFields f = {"x", "x", "x", "x", "x", "x"};
        EXPECT_FALSE(parseFullMac(text, f)) << text;
        EXPECT_EQ(f[0], "x") << text;
    }
    MacFields f;
    EXPECT_TRUE(readMacText("0A3F71000007", f));
    EXPECT_TRUE(readMacText("0A-3F-71-00-00-7", f));
    EXPECT_EQ(f[5], "7");
}

TEST(MacFields, TypedRunFillsOnceItIsAWholeAddress)
{
    const struct {
        const char* keys;
        int completesAt;  // index of the key that completes the address, -1 never
    } cases[] = {
        {"0A3F71000007", 11},
        {"0A:3F:71:00:00:07", 16},
        {"FF0A3F71000007", 11},  // the first twelve digits already make an address
        {"0A3F7100000", -1},
        {"0A3F71G000007", -1},  // a key that is no digit starts anew
        {"G0A3F71000007", 12},
    };
    for (const auto& c : cases) {
        TypedMac typed;
        MacFields f;
        int completed = -1;
        for (int i = 0; c.keys[i] && completed < 0; ++i)
            if (typed.key(c.keys[i], f)) completed = i;
        EXPECT_EQ(completed, c.completesAt) << c.keys;
    }
}

TEST(PeDisplay, TableAndUndefined)
{
    const std::pair<int, const char*> cases[] = {
        {33, "33 (4Mpbs)"},   {41, "41 (8Mpbs)"},    {52, "52 (40Mpbs)"},  {57, "57 (32Mpbs)"},
        {63, "63 (128Mpbs)"}, {40, "40 (undefined)"}, {48, "48 (undefined)"}, {56, "56 (undefined)"},
        {0, "0 (undefined)"}, {-3, "-3 (undefined)"},
    };
    for (auto [pe, text] : cases) EXPECT_EQ(peDisplayText(pe), text);
}

}  // namespace
}  // namespace ndx
