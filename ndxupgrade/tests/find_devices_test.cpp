// The search for the devices on the wire: what the loader printed and how it
// ended decide between a list, nobody, and a search that could not be made.

#include <gtest/gtest.h>

#include "core/find_devices.h"
#include "fakes.h"

namespace ndx {
namespace {

using namespace test;
using Lines = std::vector<std::string>;
namespace fs = std::filesystem;

const MacAddress kFirst = {0x0A, 0x3F, 0x71, 0x00, 0x00, 0x11};
const MacAddress kSecond = {0x0A, 0x3F, 0x71, 0x00, 0x00, 0xA2};

class FindDevices : public ::testing::Test {
protected:
    FindDevices() : session{base.path(), "192.0.2.2", "", runner, boxes, nullptr, &hints} {}

    TempBase base;
    ScriptedRunner runner;
    RecordingBoxes boxes;
    RecordingMemo memo, hints;
    Session session;
};

TEST_F(FindDevices, TheLoaderOutputDecides)
{
    const struct {
        const char* what;
        Lines printed;
        int code;
        FindOutcome outcome;
        std::vector<MacAddress> devices;
        Lines log;
    } cases[] = {
        {"two devices",
         {"device 0a:3f:71:00:00:11", "device 0a:3f:71:00:00:a2", "found 2 device(s)"},
         1, FindOutcome::Found, {kFirst, kSecond}, {"Found 2 devices."}},
        {"one among other lines",
         {"hostlink: some banner", "device 0a:3f:71:00:00:11", "found 1 device(s)"},
         1, FindOutcome::Found, {kFirst}, {"Found 1 device."}},
        {"nobody", {"found 0 device(s)"}, -3, FindOutcome::NoneFound, {}, {"Err: no device answered."}},
        {"the loader could not capture",
         {"hostlink: cannot capture on hl0: permission denied"},
         -2, FindOutcome::Failed, {}, {"Err: Can't find the devices."}},
        {"a count that does not match the list",
         {"device 0a:3f:71:00:00:11", "found 2 device(s)"},
         1, FindOutcome::Failed, {}, {"Err: Can't find the devices."}},
        {"a device line after the count",
         {"found 1 device(s)", "device 0a:3f:71:00:00:11"},
         1, FindOutcome::Failed, {}, {"Err: Can't find the devices."}},
        {"a list from a loader that then failed",
         {"device 0a:3f:71:00:00:11", "found 1 device(s)"},
         -3, FindOutcome::Failed, {}, {"Err: Can't find the devices."}},
        {"lines that only look like a device",
         {"device 0a:3f:71:00:00:11 or so", "device 0a:3f:71:00:00", "found 0 device(s)"},
         -3, FindOutcome::NoneFound, {}, {"Err: no device answered."}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        runner = ScriptedRunner();
        runner.printed["find"] = c.printed;
        runner.codes["find"] = c.code;
        memo.lines.clear();
        const FoundDevices found = findDevices(session, 0, &memo);
        EXPECT_EQ(found.outcome, c.outcome);
        EXPECT_EQ(found.devices, c.devices);
        Lines log = {"Find the devices on the wire:"};
        log.insert(log.end(), c.log.begin(), c.log.end());
        EXPECT_EQ(memo.lines, log);
        EXPECT_EQ(session.stage, "find devices");
    }
    EXPECT_EQ(hints.lines, Lines{"hostlink: cannot capture on hl0: permission denied"});
}

TEST_F(FindDevices, TheKitScriptOrOneForTheWindow)
{
    runner.printed["find"] = {"found 0 device(s)"};
    findDevices(session, 0, &memo);
    ASSERT_EQ(runner.calls.size(), 1u);
    EXPECT_EQ(runner.calls[0].argv, (Lines{base.path() + "/Tool/hostlink", "-M", "0A-3F-71-00-00-01", "-a",
                                           "192.0.2.2", "-s", "Tool/find.txt"}));
    EXPECT_EQ(runner.calls[0].workDir, base.path());

    std::string script, content;
    runner.effects["find"] = [&](const std::string& dir) {
        script = runner.calls.back().argv.back();
        content = readFile(fs::path(dir) / script);
    };
    findDevices(session, 2500, &memo);
    EXPECT_EQ(content, "FIND_DEVICES,2500\n");
    EXPECT_EQ(script.rfind("Tool/find-window.", 0), 0u) << script;
    for (const fs::directory_entry& entry : fs::directory_iterator(base.root / "Tool"))
        EXPECT_NE(entry.path().filename().string().rfind("find-window", 0), 0u) << "left behind: " << entry.path();
}

TEST_F(FindDevices, AKitWithoutTheScriptAsksNobody)
{
    fs::remove(base.root / "Tool/find.txt");
    EXPECT_EQ(findDevices(session, 0, &memo).outcome, FindOutcome::Failed);
    EXPECT_EQ(memo.lines, (Lines{"Find the devices on the wire:", "Err: Can't find Tool/find.txt file."}));
    EXPECT_EQ(session.stage, "kit files");
    EXPECT_TRUE(runner.calls.empty());
}

}  // namespace
}  // namespace ndx
