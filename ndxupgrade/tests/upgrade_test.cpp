#include <gtest/gtest.h>

#include <algorithm>
#include <optional>

#include <signal.h>

#include "core/interruption.h"
#include "core/run_and_wait.h"
#include "core/upgrade.h"
#include "fakes.h"

namespace ndx {
namespace {

using namespace test;
using Lines = std::vector<std::string>;
namespace fs = std::filesystem;

const MacAddress kTarget = {0x00, 0x01, 0x40, 0x00, 0x00, 0x01};
const char* const kHyphens = "-----------------------------------------------";

class Upgrade : public ::testing::Test {
protected:
    Upgrade() : session{base.path(), "192.0.2.2", "", runner, boxes}
    {
        runner.effects["version.sh"] = [this](const std::string& dir) {
            if (verinfo) writeFile(fs::path(dir) / "verinfo.txt", *verinfo);
        };
    }
    ClickOutcome click() { return downloadClick(session, kTarget, diagMemo, &versionMemo); }

    TempBase base;
    ScriptedRunner runner;
    RecordingBoxes boxes;
    RecordingMemo diagMemo, versionMemo;
    Session session;
    std::optional<std::string> verinfo = "1.3.2\n";
};

Lines startLines()
{
    return {kHyphens, "Start to upgrade 00-01-40-00-00-01", "Check the necessary files:"};
}

Lines concat(Lines a, const Lines& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST_F(Upgrade, SuccessLogsEveryStepAndHandsTheExactArguments)
{
    EXPECT_EQ(click(), ClickOutcome::Success);
    EXPECT_EQ(diagMemo.lines, concat(startLines(), {"Ok.", "Connect to target 00-01-40-00-00-01:", "Ok.",
                                                    "Back up target :", "Ok.", "start to upgrade :", "Ok.",
                                                    "Reset target :", "Ok."}));
    EXPECT_EQ(versionMemo.lines, (Lines{"get target's version :", "1.3.2", "Ok."}));
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].caption, "Success");
    EXPECT_EQ(boxes.shown[0].text, "Upgrade complete. Current Version is 1.3.2");
    EXPECT_EQ(boxes.shown[0].icon, BoxIcon::None);

    const std::string b = base.path();
    ASSERT_EQ(runner.calls.size(), 5u);
    EXPECT_EQ(runner.calls[0].argv, (Lines{b + "/Tool/hostlink", "-M", "00-01-40-00-00-01", "-a", "192.0.2.2",
                                           "-s", "Tool/connect.txt"}));
    EXPECT_EQ(runner.calls[0].workDir, b);
    EXPECT_EQ(runner.calls[1].argv, (Lines{b + "/Tool/hostlink", "-M", "00-01-40-00-00-01", "-a", "192.0.2.2",
                                           "-s", "../Tool/backup.txt"}));
    EXPECT_EQ(runner.calls[1].workDir, b + "/Kernel");
    EXPECT_EQ(runner.calls[2].argv, (Lines{"/bin/sh", b + "/Kernel/program_flash.sh", "192.0.2.2",
                                           "00-01-40-00-00-01", "phone1", "../Tool/prm_NDX470.inf",
                                           "00-01-40-00-00-01"}));
    EXPECT_EQ(runner.calls[2].workDir, b + "/Kernel");
    EXPECT_EQ(runner.calls[3].argv, (Lines{b + "/Tool/hostlink", "-M", "00-01-40-00-00-01", "-a", "192.0.2.2",
                                           "-s", "Tool/reset.txt"}));
    EXPECT_EQ(runner.calls[4].argv, (Lines{"/bin/sh", "version.sh", "192.0.2.2", "00-01-40-00-00-01"}));
    EXPECT_EQ(runner.calls[4].workDir, b + "/Kernel");
    EXPECT_EQ(session.facts.backup, std::vector<std::uint8_t>(428, 0x5a));
    EXPECT_EQ(session.facts.versionRead, "1.3.2");
    EXPECT_TRUE(session.facts.imageFlashed);

    EXPECT_FALSE(fs::exists(base.root / "Tool/prm_NDX470.inf"));
    EXPECT_TRUE(fs::exists(base.root / "Tool/prm_NDX470.dat"));
}

TEST_F(Upgrade, ProgramFlashExitCodes)
{
    const std::pair<int, const char*> table[] = {
        {-1, "Err: can't run program_flash.bat"},
        {-101, "Err: invalid input of program_flash.bat."},
        {-102, "Err: failed to process parameters of tabgen.exe"},
        {-103, "Err: prm.inf not found."},
        {-104, "Err: image generation failed."},
        {-105, "Err: flash programming failed."},
        {-7, nullptr},
    };
    for (auto [code, line] : table) {
        SCOPED_TRACE(code);
        diagMemo.lines.clear();
        boxes.shown.clear();
        runner.calls.clear();
        runner.codes["program_flash.sh"] = code;
        EXPECT_EQ(click(), ClickOutcome::Failed);
        Lines tail = {"start to upgrade :"};
        if (line) tail.push_back(line);
        tail.push_back("Err: upgrade fail.");
        ASSERT_GE(diagMemo.lines.size(), tail.size());
        EXPECT_EQ(Lines(diagMemo.lines.end() - static_cast<long>(tail.size()), diagMemo.lines.end()), tail);
        EXPECT_EQ(runner.steps(), (Lines{"connect", "backup", "program_flash.sh"}));
        // Only an image on its way to the flash counts as flashed.
        EXPECT_EQ(session.facts.imageFlashed, code == -105);
        ASSERT_EQ(boxes.shown.size(), 1u);
        EXPECT_EQ(boxes.shown[0].caption, "Fail");
        EXPECT_EQ(boxes.shown[0].text, "Upgrade Fail");
        EXPECT_EQ(boxes.shown[0].icon, BoxIcon::Error);
        EXPECT_FALSE(fs::exists(base.root / "Tool/prm_NDX470.inf"));
    }
}

TEST_F(Upgrade, PositiveProgramFlashStatusIsSuccess)
{
    runner.codes["program_flash.sh"] = 3;
    EXPECT_EQ(click(), ClickOutcome::Success);
}

TEST_F(Upgrade, ConnectFailureStopsBeforeTheBatchFile)
{
    runner.codes["connect"] = -1;
    EXPECT_EQ(click(), ClickOutcome::Failed);
    EXPECT_EQ(diagMemo.lines.back(), "Err: Can't connect to target 00-01-40-00-00-01");
    EXPECT_EQ(runner.steps(), (Lines{"connect"}));
}

// The loader's reason for a failed step follows the step's own failure
// line; the log lines themselves stay as they are, and every line the
// children print reaches the child output under the child's name.
TEST_F(Upgrade, LoaderReasonFollowsTheFailedStep)
{
    struct : ChildOutput {
        void childStarted(const std::string& child) override { seen.push_back("start " + child); }
        void childLine(const std::string& child, const std::string& line) override
        {
            seen.push_back(child + ": " + line);
        }
        void childEnded(const std::string& child, int code) override
        {
            seen.push_back("end " + child + " " + std::to_string(code));
        }
        Lines seen;
    } children;
    RecordingMemo hints;
    session.childOutput = &children;
    session.failureHints = &hints;
    const std::string reason = "hostlink: cannot capture on hl0: socket: Operation not permitted";
    runner.printed["connect"] = {"***", reason};
    runner.codes["connect"] = -5;
    EXPECT_EQ(click(), ClickOutcome::Failed);
    EXPECT_EQ(diagMemo.lines.back(), "Err: Can't connect to target 00-01-40-00-00-01");
    EXPECT_EQ(hints.lines, Lines{reason});
    EXPECT_EQ(children.seen, (Lines{"start hostlink", "hostlink: ***", "hostlink: " + reason, "end hostlink -5"}));

    // Passed on through a script, and only for the step that printed it.
    hints.lines.clear();
    runner.printed = {{"program_flash.sh", {reason}}};
    runner.codes = {{"program_flash.sh", -105}};
    EXPECT_EQ(click(), ClickOutcome::Failed);
    EXPECT_EQ(Lines(diagMemo.lines.end() - 2, diagMemo.lines.end()),
              (Lines{"Err: flash programming failed.", "Err: upgrade fail."}));
    EXPECT_EQ(hints.lines, Lines{reason});

    hints.lines.clear();
    runner.printed = {{"connect", {reason}}};
    runner.codes = {{"reset", -1}};
    EXPECT_EQ(click(), ClickOutcome::Failed);
    EXPECT_TRUE(hints.lines.empty());
}

// A loader this user may not run is not started; the step's failure line is
// followed by the reason, naming the group that alone may run it.
TEST_F(Upgrade, LoaderThatMayNotRunIsNamed)
{
    RecordingMemo hints;
    session.failureHints = &hints;
    fs::permissions(base.root / "Tool/hostlink", fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(click(), ClickOutcome::Failed);
    EXPECT_TRUE(runner.calls.empty());
    EXPECT_EQ(diagMemo.lines.back(), "Err: Can't connect to target 00-01-40-00-00-01");
    EXPECT_EQ(hints.lines, Lines{"ndxupgrade: cannot run " + (base.root / "Tool/hostlink").string() +
                                 ": Permission denied"});

    const struct {
        const char* group;
        const char* text;
    } cases[] = {
        {"", "ndxupgrade: cannot run /usr/bin/hostlink: Permission denied"},
        {"ndxlink",
         "ndxupgrade: cannot run /usr/bin/hostlink: Permission denied (only the members of the group ndxlink may "
         "run it: sudo usermod -aG ndxlink $USER, then log in again)"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(cannotRunText("/usr/bin/hostlink", "Permission denied", c.group), c.text);
    EXPECT_TRUE(isLoaderDiagnosis(cases[1].text));
    EXPECT_TRUE(isLoaderDiagnosis("hostlink: cannot capture on hl0: socket: Operation not permitted"));
    EXPECT_FALSE(isLoaderDiagnosis("version.sh: ndxupgrade: cannot run x"));
}

// The device's parameters are read back after the connect step and before
// anything is written: a backup that fails, or that reads fewer bytes than
// the image holds, or an old image left from an earlier run, stops the
// upgrade before program_flash.sh.
TEST_F(Upgrade, BackupComesBeforeAnythingIsWritten)
{
    struct Case {
        const char* name;
        int code;
        std::optional<std::string> image;  // what the loader leaves; none: nothing
        bool leftOver;                     // an image of an earlier backup is there
    };
    const Case cases[] = {
        {"loader fails", -5, std::nullopt, false},
        {"loader fails, old image there", -5, std::nullopt, true},
        {"loader succeeds without an image", 0, std::nullopt, true},
        {"short image", 0, std::string(427, '\1'), false},
        {"long image", 0, std::string(429, '\1'), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        diagMemo.lines.clear();
        runner.calls.clear();
        session.facts = {};
        runner.codes["backup"] = c.code;
        if (c.leftOver) writeFile(base.root / "Kernel/backup.bin", std::string(428, '\7'));
        runner.effects["backup"] = [&](const std::string& dir) {
            if (c.image) writeFile(fs::path(dir) / "backup.bin", *c.image);
        };
        EXPECT_EQ(click(), ClickOutcome::Failed);
        EXPECT_EQ(runner.steps(), (Lines{"connect", "backup"}));
        ASSERT_GE(diagMemo.lines.size(), 2u);
        EXPECT_EQ(Lines(diagMemo.lines.end() - 2, diagMemo.lines.end()),
                  (Lines{"Back up target :", "Err: Can't back up the device's parameters; nothing was written."}));
        EXPECT_EQ(session.stage, "parameter backup");
        EXPECT_TRUE(session.facts.backupFailed);
        EXPECT_TRUE(session.facts.backup.empty());
        EXPECT_EQ(boxes.shown.back().text, "Upgrade Fail");
    }
}

TEST_F(Upgrade, BackupKeepsTheImageAndTheVersionItRead)
{
    runner.printed["backup"] = {"banner 1.3.2.10", "0.0.1\r"};
    std::string image(428, '\0');
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<char>(i * 7);
    runner.effects["backup"] = [&](const std::string& dir) { writeFile(fs::path(dir) / "backup.bin", image); };
    EXPECT_EQ(click(), ClickOutcome::Success);
    EXPECT_EQ(session.facts.backup, std::vector<std::uint8_t>(image.begin(), image.end()));
    EXPECT_EQ(session.facts.versionBefore, "1.2d or earlier");
    // The image stays in Kernel/ as the last one read.
    EXPECT_EQ(readFile(base.root / "Kernel/backup.bin"), image);
}

TEST_F(Upgrade, NoBackupSkipsTheStepAndItsScript)
{
    session.backupFirst = false;
    fs::remove(base.root / "Tool/backup.txt");
    EXPECT_EQ(click(), ClickOutcome::Success);
    EXPECT_EQ(runner.steps(), (Lines{"connect", "program_flash.sh", "reset", "version.sh"}));
    EXPECT_EQ(std::count(diagMemo.lines.begin(), diagMemo.lines.end(), "Back up target :"), 0);
    EXPECT_TRUE(session.facts.backup.empty());
}

TEST_F(Upgrade, ResetFailure)
{
    runner.codes["reset"] = -3;
    EXPECT_EQ(click(), ClickOutcome::Failed);
    EXPECT_EQ(diagMemo.lines.back(), "Err: Can't reset target");
    EXPECT_EQ(runner.steps(), (Lines{"connect", "backup", "program_flash.sh", "reset"}));
    EXPECT_EQ(boxes.shown.back().text, "Upgrade Fail");
}

// The connect step on its own (the diagnosis runs it without a files check).
TEST_F(Upgrade, MissingHostlinkShowsTheFindBoxThenLogsTheConnectFailure)
{
    fs::remove(base.root / "Tool/hostlink");
    EXPECT_FALSE(connectStep(session, "00-01-40-00-00-01", &diagMemo));
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, "Err: Can't find " + base.path() + "/Tool/hostlink");
    EXPECT_EQ(boxes.shown[0].caption, "Error");
    EXPECT_EQ(diagMemo.lines.back(), "Err: Can't connect to target 00-01-40-00-00-01");
    EXPECT_TRUE(runner.calls.empty());
}

// Everything the upgrade and its scripts need is there before anything is
// sent: the four checks first, then each file a step runs, by its own name.
TEST_F(Upgrade, MissingFilesAreCheckedInOrder)
{
    const std::pair<const char*, const char*> table[] = {
        {"Tool/connect.txt", "Err: Can't find Tool\\connect.txt file."},
        {"Tool/reset.txt", "Err: Can't find Tool\\reset.txt file."},
        {"Kernel", "Err: Can't find Kernel directory."},
        {"Tool/hostlink", "Err: Can't find Tool/hostlink file."},
        {"Tool/backup.txt", "Err: Can't find Tool/backup.txt file."},
        {"Kernel/program_flash.sh", "Err: Can't find Kernel/program_flash.sh file."},
        {"Tool/tabgen", "Err: Can't find Tool/tabgen file."},
        {"Tool/imgbuild", "Err: Can't find Tool/imgbuild file."},
        {"Kernel/version.sh", "Err: Can't find Kernel/version.sh file."},
    };
    for (auto [path, line] : table) {
        SCOPED_TRACE(path);
        diagMemo.lines.clear();
        const fs::path hidden = base.root / "hidden";
        fs::rename(base.root / path, hidden);
        EXPECT_EQ(click(), ClickOutcome::Failed);
        EXPECT_EQ(diagMemo.lines, concat(startLines(), {line}));
        EXPECT_TRUE(runner.calls.empty());
        EXPECT_EQ(boxes.shown.back().text, "Upgrade Fail");
        EXPECT_FALSE(fs::exists(base.root / "Tool/prm_NDX470.inf"));
        fs::rename(hidden, base.root / path);
    }
    // A folder where a script should be is no script.
    fs::remove(base.root / "Kernel/version.sh");
    fs::create_directory(base.root / "Kernel/version.sh");
    EXPECT_EQ(click(), ClickOutcome::Failed);
    EXPECT_EQ(diagMemo.lines.back(), "Err: Can't find Kernel/version.sh file.");
}

TEST_F(Upgrade, ProcedureWithoutThePlainParameterFile)
{
    EXPECT_FALSE(upgradeProcedure(session, kTarget, diagMemo, &versionMemo));
    EXPECT_EQ(diagMemo.lines, concat(startLines(), {"Err: Can't find prm file."}));
}

TEST_F(Upgrade, MissingDatIsRebuiltFromTheInf)
{
    fs::remove(base.root / "Tool/prm_NDX470.dat");
    writeFile(base.root / "Tool/prm_NDX470.inf", "PLAIN=1\n");
    EXPECT_EQ(click(), ClickOutcome::Success);
    ASSERT_EQ(boxes.shown.size(), 2u);
    EXPECT_EQ(boxes.shown[0].caption, "Information");
    EXPECT_EQ(boxes.shown[0].icon, BoxIcon::Information);
    EXPECT_EQ(boxes.shown[0].text, "Can't find " + base.path() + "/Tool/prm_NDX470.dat\nTry to create it.");
    EXPECT_FALSE(fs::exists(base.root / "Tool/prm_NDX470.inf"));
    std::string dat = readFile(base.root / "Tool/prm_NDX470.dat");
    std::vector<std::uint8_t> plain = unscramble(std::vector<std::uint8_t>(dat.begin(), dat.end()));
    EXPECT_EQ(std::string(plain.begin(), plain.end()), "PLAIN=1\n");
}

TEST_F(Upgrade, InfIsThePlainDatWhileTheBatchFileRuns)
{
    std::string seen;
    runner.effects["program_flash.sh"] = [&](const std::string& dir) {
        seen = readFile(fs::path(dir) / "../Tool/prm_NDX470.inf");
    };
    click();
    EXPECT_EQ(seen, "MAC_ADDR=00:01:40:00:00:01\n");
}

TEST_F(Upgrade, NeitherParameterFileStopsBeforeAnyLogLine)
{
    fs::remove(base.root / "Tool/prm_NDX470.dat");
    EXPECT_EQ(click(), ClickOutcome::Stopped);
    ASSERT_EQ(boxes.shown.size(), 2u);
    EXPECT_EQ(boxes.shown[1].caption, "Error");
    EXPECT_EQ(boxes.shown[1].text, "Can't find " + base.path() + "/Tool/prm_NDX470.inf");
    EXPECT_TRUE(diagMemo.lines.empty());
    EXPECT_TRUE(runner.calls.empty());
}

TEST_F(Upgrade, VersionQueryReadings)
{
    struct Case {
        std::optional<std::string> verinfo;
        int status;
        bool ok;
        std::string version;
    };
    const Case cases[] = {
        {"1.3.2\n", 0, true, "1.3.2"},
        {"  1.3.2 trailing words\n", 0, true, "1.3.2"},
        {"0.0.1", 0, true, "1.2d or earlier"},
        {std::string(50, '9'), 0, true, std::string(43, '9')},
        {"ERROR_TIMEOUT", 0, false, ""},
        {"1.3-ERROR", 0, false, ""},
        {"", 0, false, ""},
        {std::nullopt, 0, false, ""},
        {"1.3.2", -1, false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.verinfo.value_or("(missing)"));
        verinfo = c.verinfo;
        runner.codes["version.sh"] = c.status;
        versionMemo.lines.clear();
        session.versionText = "stale";
        EXPECT_EQ(versionQuery(session, "00-01-40-00-00-01", &versionMemo), c.ok);
        EXPECT_EQ(session.versionText, c.version);
        const Lines expected = c.ok ? Lines{"get target's version :", c.version, "Ok."}
                                    : Lines{"get target's version :", "Err: Can't get target's version."};
        EXPECT_EQ(versionMemo.lines, expected);
    }
}

TEST_F(Upgrade, VersionQueryNeverReadsAnOldVerinfo)
{
    writeFile(base.root / "Kernel/verinfo.txt", "1.3.2");
    verinfo.reset();
    EXPECT_FALSE(versionQuery(session, "00-01-40-00-00-01", nullptr));
}

TEST_F(Upgrade, VersionClickBoxes)
{
    EXPECT_TRUE(versionClick(session, kTarget, &versionMemo));
    EXPECT_EQ(boxes.shown.back().caption, "Success");
    EXPECT_EQ(boxes.shown.back().text, "Current Version is 1.3.2");
    EXPECT_EQ(runner.steps(), (Lines{"version.sh"}));  // no connect step first

    runner.codes["version.sh"] = -1;
    EXPECT_FALSE(versionClick(session, kTarget, &versionMemo));
    EXPECT_EQ(boxes.shown.back().caption, "Error");
    EXPECT_EQ(boxes.shown.back().text, "Can't get target's version");
}

TEST_F(Upgrade, MissingVersionScriptIsReportedByName)
{
    fs::remove(base.root / "Kernel/version.sh");
    EXPECT_FALSE(versionQuery(session, "00-01-40-00-00-01", nullptr));
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, "Err: Can't find version.sh");
}

TEST(Interruption, TheLineSaysWhatWasStoppedAndWhere)
{
    const struct {
        int signalNumber;
        Procedure procedure;
        const char *devices, *stage, *line;
    } cases[] = {
        {SIGTERM, Procedure::Upgrade, "0A-3F-71-00-00-01", "program_flash.sh",
         "Err: SIGTERM stopped the upgrade of 0A-3F-71-00-00-01 in stage program_flash.sh; the flash may be "
         "half-programmed: upgrade the device again."},
        {SIGINT, Procedure::VersionQuery, "0A-3F-71-00-00-01", "version query",
         "Err: SIGINT stopped the version query of 0A-3F-71-00-00-01 in stage version query."},
        {SIGHUP, Procedure::Diagnosis, "0A-3F-71-00-00-01 and 0A-3F-71-00-00-02", "",
         "Err: SIGHUP stopped the diagnosis of 0A-3F-71-00-00-01 and 0A-3F-71-00-00-02."},
        {SIGINT, Procedure::DeviceSearch, "eth1", "find devices", "Err: SIGINT stopped the search for the devices on eth1."},
    };
    for (const auto& c : cases) EXPECT_EQ(interruptedLine(c.signalNumber, c.procedure, c.devices, c.stage), c.line);
    EXPECT_EQ(signalExitStatus(SIGINT), 130);
    EXPECT_EQ(signalName(SIGHUP), "SIGHUP");
}

TEST(RunAndWait, ArgumentTextIsSplitAtBlanksOnly)
{
    EXPECT_EQ(splitArgumentText(" 192.0.2.2  00-01 phone1 "), (Lines{"192.0.2.2", "00-01", "phone1"}));
    EXPECT_EQ(splitArgumentText("a;rm -rf x"), (Lines{"a;rm", "-rf", "x"}));
    EXPECT_TRUE(splitArgumentText("   ").empty());
}

}  // namespace
}  // namespace ndx
