// The batch's parts that need no device: its command line, the device list,
// the outcome of each device and its report, the run folders, the stages the
// procedure reports, and the pool of device processes (with shell scripts
// standing in for the devices).

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <set>

#include "batch/device_list.h"
#include "batch/device_outcome.h"
#include "batch/job_pool.h"
#include "batch/run_folders.h"
#include "batch/worker_protocol.h"
#include "command_line.h"
#include "core/upgrade.h"
#include "fakes.h"

namespace ndx {
namespace {

using namespace test;
using Args = std::vector<std::string>;
using Lines = std::vector<std::string>;
namespace fs = std::filesystem;

TEST(BatchCommandLine, WhatMakesABatch)
{
    const struct {
        Args args;
        bool batch;
        int jobs;
    } cases[] = {
        {{"--upgrade", "--mac", "0A-3F-71-00-00-07", "--interface", "eth1"}, false, 4},
        {{"--upgrade", "--mac", "A", "--mac", "B", "--interface", "eth1"}, true, 4},
        {{"--query-version", "--mac-list", "macs.txt", "--interface", "eth1"}, true, 4},
        {{"--upgrade", "--mac", "A", "--interface", "eth1", "--jobs", "8"}, true, 8},
        {{"--upgrade", "--mac", "A", "--interface", "eth1", "--report", "r.csv"}, true, 4},
        {{"--upgrade", "--mac", "A", "--interface", "eth1", "--run-dir", "runs/x"}, true, 4},
        {{"--upgrade", "--mac", "A", "--interface", "eth1", "--batch-worker"}, false, 4},
    };
    for (const auto& c : cases) {
        const CommandLine l = parseCommandLine(c.args);
        SCOPED_TRACE(c.args[1] + " " + c.args.back());
        EXPECT_NE(l.action, Action::UsageError) << l.error;
        EXPECT_EQ(l.batch, c.batch);
        EXPECT_EQ(l.jobs, c.jobs);
    }
    const CommandLine two = parseCommandLine({"--upgrade", "--mac", "A", "--interface", "e", "--mac", "B"});
    EXPECT_EQ(two.macs, (Args{"A", "B"}));
    EXPECT_EQ(two.mac, "A");
}

TEST(BatchCommandLine, Mistakes)
{
    const struct {
        Args args;
        const char* error;
    } cases[] = {
        {{"--upgrade", "--mac-list", "m.txt"}, "ndxupgrade: a batch needs --interface"},
        {{"--upgrade", "--mac", "A", "--mac", "B"}, "ndxupgrade: this mode needs --mac and --interface"},
        {{"--upgrade", "--interface", "e", "--jobs", "8"}, "ndxupgrade: this mode needs --mac and --interface"},
        {{"--upgrade", "--mac", "A", "--interface", "e", "--jobs", "0"}, "ndxupgrade: --jobs needs a number from 1 to 64"},
        {{"--upgrade", "--mac", "A", "--interface", "e", "--jobs", "65"}, "ndxupgrade: --jobs needs a number from 1 to 64"},
        {{"--upgrade", "--mac", "A", "--interface", "e", "--jobs", "4x"}, "ndxupgrade: --jobs needs a number from 1 to 64"},
        {{"--upgrade", "--mac", "A", "--interface", "e", "--report", ""}, "ndxupgrade: --report needs a value"},
        {{"--diagnose", "--local", "A", "--remote", "B", "--jobs", "2"},
         "ndxupgrade: --diagnose works on one pair of devices; it takes no batch options"},
        {{"--gui", "--mac-list", "m.txt"},
         "ndxupgrade: the window takes no device options; add --upgrade, --query-version or --diagnose"},
        {{"--upgrade", "--mac", "A", "--mac", "B", "--interface", "e", "--batch-worker"},
         "ndxupgrade: --batch-worker runs one device of a batch; it takes one --mac and no batch options"},
    };
    for (const auto& c : cases) {
        const CommandLine l = parseCommandLine(c.args);
        EXPECT_EQ(l.action, Action::UsageError);
        EXPECT_EQ(l.error, c.error);
    }
}

TEST(BatchDevices, ListFile)
{
    const struct {
        const char* text;
        bool ok;
        Lines macs;
        Lines errors;
    } cases[] = {
        {"# line A\n0A-3F-71-00-00-07\n\n  0a:3f:71:00:00:08  # bench 2\r\n0A3F71000009", true,
         {"0A-3F-71-00-00-07@2", "0A-3F-71-00-00-08@4", "0A-3F-71-00-00-09@5"}, {}},
        {"", true, {}, {}},
        // Saved by a Windows editor: a byte-order mark before the first line.
        {"\xEF\xBB\xBF" "0A-3F-71-00-00-07\r\n0A-3F-71-00-00-08\r\n", true,
         {"0A-3F-71-00-00-07@1", "0A-3F-71-00-00-08@2"}, {}},
        {"\xEF\xBB\xBF", true, {}, {}},
        // A mark anywhere else is not one.
        {"0A-3F-71-00-00-07\n\xEF\xBB\xBF" "0A-3F-71-00-00-08\n", false, {"0A-3F-71-00-00-07@1"},
         {"m.txt:2: not a MAC address: \xEF\xBB\xBF" "0A-3F-71-00-00-08"}},
        // Every bad line is named, not just the first.
        {"0A-3F-71-00-00-07\n0A-3F-71-00\n0A-3F-71-00-00-08\n0A-3F-71-00-00-G7\n", false,
         {"0A-3F-71-00-00-07@1", "0A-3F-71-00-00-08@3"},
         {"m.txt:2: not a MAC address: 0A-3F-71-00", "m.txt:4: not a MAC address: 0A-3F-71-00-00-G7"}},
        {"0A-3F-71-00-00-07 0A-3F-71-00-00-08\n", false, {},
         {"m.txt:1: not a MAC address: 0A-3F-71-00-00-07 0A-3F-71-00-00-08"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        std::vector<ListedMac> listed;
        Lines errors;
        EXPECT_EQ(readMacListText(c.text, "m.txt", listed, errors), c.ok);
        Lines macs;
        for (const ListedMac& l : listed) macs.push_back(l.mac + "@" + std::to_string(l.line));
        EXPECT_EQ(macs, c.macs);
        EXPECT_EQ(errors, c.errors);
    }
}

TEST(BatchDevices, GivenAndListedTogether)
{
    TempBase scratch;
    const std::string list = scratch.path() + "/macs.txt";
    writeFile(list, "0A-3F-71-00-00-08\n");
    Lines macs, errors;
    EXPECT_TRUE(collectBatchDevices({"0a3f71000007"}, list, macs, errors));
    EXPECT_EQ(macs, (Lines{"0A-3F-71-00-00-07", "0A-3F-71-00-00-08"}));
    EXPECT_TRUE(errors.empty());

    const std::string twice = scratch.path() + "/twice.txt";
    writeFile(twice, "0A-3F-71-00-00-08\nnot one\n0a:3f:71:00:00:08\n0A-3F-71-00-00-07\n0A3F71000008\n");
    const struct {
        Lines given;
        std::string file;
        Lines errors;
    } refused[] = {
        // The same device in two spellings would be upgraded twice at once.
        {{"0A:3F:71:00:00:08"}, list, {list + ":1: 0A-3F-71-00-00-08 is listed twice (also given with --mac)"}},
        {{"0A-3F-71-00-00-09", "0a3f71000009"}, "", {"0A-3F-71-00-00-09 is listed twice"}},
        {{"0A-3F-71-00-00-07"},
         twice,
         {twice + ":2: not a MAC address: not one",
          twice + ":3: 0A-3F-71-00-00-08 is listed twice (also on line 1)",
          twice + ":4: 0A-3F-71-00-00-07 is listed twice (also given with --mac)",
          twice + ":5: 0A-3F-71-00-00-08 is listed twice (also on line 1)"}},
        {{"0A-3F-71-00-00", "0A-3F-71-00-00-0X"}, "",
         {"not a MAC address: 0A-3F-71-00-00", "not a MAC address: 0A-3F-71-00-00-0X"}},
        {{}, scratch.path() + "/missing.txt", {"cannot read the MAC list " + scratch.path() + "/missing.txt"}},
        {{}, scratch.path(), {"cannot read the MAC list " + scratch.path()}},
        {{}, scratch.path() + "/Tool/connect.txt",
         {scratch.path() + "/Tool/connect.txt:1: not a MAC address: W 8000 1"}},
    };
    writeFile(scratch.root / "empty.txt", "# nothing yet\n");
    for (const auto& c : refused) {
        SCOPED_TRACE(c.file);
        EXPECT_FALSE(collectBatchDevices(c.given, c.file, macs, errors));
        EXPECT_EQ(errors, c.errors);
    }
    EXPECT_FALSE(collectBatchDevices({}, scratch.path() + "/empty.txt", macs, errors));
    EXPECT_EQ(errors, Lines{"no device to work on: " + scratch.path() + "/empty.txt lists no MAC address"});
}

TEST(BatchOutcome, JudgedFromHowTheDeviceEnded)
{
    const struct {
        DeviceEnd end;
        DeviceResult result;
        const char* stage;
        const char* version;
    } cases[] = {
        {{true, false, true, true, "1.3.2", "version query"}, DeviceResult::Ok, "", "1.3.2"},
        // Ended before the stop reached it.
        {{true, true, true, true, "1.3.2", "version query"}, DeviceResult::Ok, "", "1.3.2"},
        {{false, false, true, false, "flash programming", "flash programming"}, DeviceResult::Failed,
         "flash programming", ""},
        // An ok result with a failing status is not an upgraded device.
        {{false, false, true, true, "1.3.2", "version query"}, DeviceResult::Failed, "version query", ""},
        {{false, true, false, false, "", "program_flash.sh"}, DeviceResult::Stopped, "program_flash.sh", ""},
        {{false, true, false, false, "", ""}, DeviceResult::Stopped, "start", ""},
        // It broke off without a result (crashed, could not start).
        {{false, false, false, false, "", "reset"}, DeviceResult::Failed, "reset", ""},
        {{false, false, false, false, "", ""}, DeviceResult::Failed, "start", ""},
    };
    for (const auto& c : cases) {
        DeviceOutcome o;
        judgeDevice(c.end, o);
        EXPECT_EQ(o.result, c.result) << c.end.resultValue << " " << c.end.lastStage;
        EXPECT_EQ(o.stage, c.stage);
        EXPECT_EQ(o.version, c.version);
    }
    DeviceOutcome o;
    judgeDevice({true, false, true, true, "1.2d or earlier", ""}, o);
    EXPECT_EQ(o.version, "1.2d or earlier");
}

TEST(BatchOutcome, LinesSummaryAndReport)
{
    std::vector<DeviceOutcome> outcomes = {
        {"0A-3F-71-00-00-07", DeviceResult::Ok, "", "1.3.2", 3.14, "/r/0A-3F-71-00-00-07/log.txt"},
        {"0A-3F-71-00-00-08", DeviceResult::Failed, "flash programming", "", 2.449, "/r/a,b \"x\"/log.txt"},
        {"0A-3F-71-00-00-09", DeviceResult::Stopped, "reset", "", 1.0, "/r/9/log.txt"},
        {"0A-3F-71-00-00-0A", DeviceResult::NotStarted, "", "", 0, ""},
    };
    const Lines lines = {"0A-3F-71-00-00-07  ok  1.3.2  3.1 s", "0A-3F-71-00-00-08  FAIL  flash programming  2.4 s",
                         "0A-3F-71-00-00-09  STOPPED  reset  1.0 s", "0A-3F-71-00-00-0A  NOT STARTED"};
    for (std::size_t i = 0; i < outcomes.size(); ++i) EXPECT_EQ(deviceLine(outcomes[i]), lines[i]);
    EXPECT_EQ(summaryLine(outcomes), "4 devices: 1 ok, 1 failed, 1 stopped, 1 not started");
    EXPECT_EQ(summaryLine({outcomes[0], outcomes[0], outcomes[1]}), "3 devices: 2 ok, 1 failed");
    EXPECT_EQ(summaryLine({outcomes[0]}), "1 device: 1 ok, 0 failed");
    EXPECT_EQ(reportCsv(outcomes),
              "mac,result,stage,version,seconds,log\n"
              "0A-3F-71-00-00-07,ok,,1.3.2,3.14,/r/0A-3F-71-00-00-07/log.txt\n"
              "0A-3F-71-00-00-08,failed,flash programming,,2.45,\"/r/a,b \"\"x\"\"/log.txt\"\n"
              "0A-3F-71-00-00-09,stopped,reset,,1.00,/r/9/log.txt\n"
              "0A-3F-71-00-00-0A,not started,,,,\n");
}

TEST(BatchOutcome, WorkerLinesReadBack)
{
    for (const std::string value : {"1.3.2", "1.2d or earlier"}) {
        const WorkerLine w = readWorkerLine(workerResultLine(true, value));
        EXPECT_EQ(w.kind, WorkerLine::Kind::Result);
        EXPECT_TRUE(w.ok);
        EXPECT_EQ(w.value, value);
    }
    const WorkerLine failed = readWorkerLine(workerResultLine(false, "flash programming"));
    EXPECT_FALSE(failed.ok);
    EXPECT_EQ(failed.value, "flash programming");
    EXPECT_EQ(readWorkerLine(workerStageLine("reset")).kind, WorkerLine::Kind::Stage);
    // A child's line, labelled with its name, is never taken for one.
    EXPECT_EQ(readWorkerLine("program_flash.sh: " + workerResultLine(true, "9.9.9")).kind, WorkerLine::Kind::Other);
}

// The stage a failure is reported in, as the procedure names it.
TEST(BatchStages, TheProcedureNamesItsStages)
{
    const struct {
        std::map<std::string, int> codes;
        const char* failedStage;
    } cases[] = {
        {{}, "version query"},
        {{{"connect", -1}}, "connect"},
        {{{"program_flash.sh", -105}}, "flash programming"},
        {{{"program_flash.sh", -104}}, "image generation"},
        {{{"program_flash.sh", -102}}, "parameter compiler"},
        {{{"program_flash.sh", -7}}, "program_flash.sh"},
        {{{"reset", -3}}, "reset"},
        {{{"version.sh", -1}}, "version query"},
    };
    for (const auto& c : cases) {
        TempBase base;
        writeFile(base.root / "Tool/prm_NDX470.inf", "x");
        ScriptedRunner runner;
        runner.codes = c.codes;
        runner.effects["version.sh"] = [](const std::string& dir) { writeFile(fs::path(dir) / "verinfo.txt", "1.3.2"); };
        RecordingBoxes boxes;
        RecordingMemo memo;
        Session session{base.path(), "192.0.2.2", "", runner, boxes};
        Lines entered;
        session.stageChanged = [&](const std::string& stage) { entered.push_back(stage); };
        upgradeProcedure(session, {0x0A, 0x3F, 0x71, 0, 0, 7}, memo, &memo);
        EXPECT_EQ(session.stage, c.failedStage);
        EXPECT_EQ(entered.back(), c.failedStage);
        EXPECT_EQ(entered.front(), "kit files");
    }
}

TEST(BatchFolders, RunFolderNames)
{
    TempBase base;
    std::tm noon{};
    noon.tm_year = 126, noon.tm_mon = 11, noon.tm_mday = 1, noon.tm_hour = 12, noon.tm_min = 5, noon.tm_sec = 9;
    noon.tm_isdst = -1;
    const std::time_t at = std::mktime(&noon);
    std::string first, second, error;
    ASSERT_TRUE(makeRunFolder(base.path(), "", at, first, error)) << error;
    ASSERT_TRUE(makeRunFolder(base.path(), "", at, second, error)) << error;
    EXPECT_EQ(first, base.path() + "/runs/20261201-120509");
    EXPECT_EQ(second, base.path() + "/runs/20261201-120509-2");

    std::string chosen;
    ASSERT_TRUE(makeRunFolder(base.path(), base.path() + "/mine/run1", at, chosen, error)) << error;
    EXPECT_EQ(chosen, base.path() + "/mine/run1");
    writeFile(base.root / "mine/run1/log.txt", "earlier");
    // An earlier run's files must not mix with this one's.
    EXPECT_FALSE(makeRunFolder(base.path(), chosen, at, chosen, error));
    EXPECT_EQ(error, base.path() + "/mine/run1: the run folder must be empty");
    EXPECT_FALSE(makeRunFolder(base.path(), base.path() + "/Tool/connect.txt", at, chosen, error));
}

TEST(BatchFolders, DeviceFolderSharesOnlyWhatNoDeviceWrites)
{
    TempBase base;
    // Left from single upgrades in the shared kit: never seen by a device.
    for (const char* left :
         {"Kernel/image.dat", "Kernel/verinfo.txt", "Kernel/snr.tmp", "Kernel/backup.bin", "Tool/prm_NDX470.inf",
          "Tool/.ndxupgrade.lock"})
        writeFile(base.root / left, "old");
    fs::create_directories(base.root / "Tool/firmware");
    std::string run, folder, error;
    ASSERT_TRUE(makeRunFolder(base.path(), "", std::time(nullptr), run, error));
    writeFile(run + "/prm_NDX470.inf", "plain");
    ASSERT_TRUE(makeDeviceFolder(base.path(), run, "0A-3F-71-00-00-07", run + "/prm_NDX470.inf", folder, error))
        << error;
    EXPECT_EQ(folder, run + "/0A-3F-71-00-00-07");

    std::map<std::string, std::string> entries;
    for (const auto& e : fs::recursive_directory_iterator(folder))
        entries[e.path().lexically_relative(folder).string()] =
            e.is_symlink() ? fs::read_symlink(e.path()).string() : e.is_directory() ? "dir" : "file";
    const std::map<std::string, std::string> expected = {
        {"Tool", "dir"},
        {"Kernel", "dir"},
        {"Tool/connect.txt", base.path() + "/Tool/connect.txt"},
        {"Tool/backup.txt", base.path() + "/Tool/backup.txt"},
        {"Tool/reset.txt", base.path() + "/Tool/reset.txt"},
        {"Tool/find.txt", base.path() + "/Tool/find.txt"},
        {"Tool/hostlink", base.path() + "/Tool/hostlink"},
        {"Tool/tabgen", base.path() + "/Tool/tabgen"},
        {"Tool/imgbuild", base.path() + "/Tool/imgbuild"},
        {"Tool/firmware", base.path() + "/Tool/firmware"},
        {"Tool/prm_NDX470.inf", run + "/prm_NDX470.inf"},
        {"Kernel/program_flash.sh", base.path() + "/Kernel/program_flash.sh"},
        {"Kernel/version.sh", base.path() + "/Kernel/version.sh"},
        {"Kernel/per_test.sh", base.path() + "/Kernel/per_test.sh"},
    };
    EXPECT_EQ(entries, expected);
    EXPECT_EQ(deviceParameterLink(folder), folder + "/Tool/prm_NDX470.inf");

    // A version query needs no parameter file; a second device beside the first.
    ASSERT_TRUE(makeDeviceFolder(base.path(), run, "0A-3F-71-00-00-08", "", folder, error));
    EXPECT_FALSE(fs::exists(folder + "/Tool/prm_NDX470.inf"));
    EXPECT_FALSE(makeDeviceFolder(base.path() + "/missing", run, "0A-3F-71-00-00-09", "", folder, error));
}

// Shell scripts stand in for the devices' processes.
class Pool : public ::testing::Test, public BatchListener {
protected:
    void started(std::size_t job) override { events.push_back("start " + std::to_string(job)); }
    void line(std::size_t job, const std::string& text) override
    {
        output[job].push_back(text);
        if (onLine) onLine(job, text);
    }
    void ended(std::size_t job, const JobEnd& end) override
    {
        events.push_back("end " + std::to_string(job));
        ends[job] = end;
    }
    void stopping(const std::string& signalName) override { stoppedBy = signalName; }

    BatchJob script(const std::string& text) { return {{"/bin/sh", "-c", text}, scratch.path()}; }
    bool run(const std::vector<BatchJob>& jobs, int parallel, int graceMs = 300)
    {
        BatchSignals signals;
        return runJobPool(jobs, parallel, std::chrono::milliseconds(graceMs), signals, *this) == 0;
    }
    static bool alive(const std::string& pid) { return ::kill(std::stoi(pid), 0) == 0; }

    TempBase scratch;
    std::vector<std::string> events;
    std::map<std::size_t, Lines> output;
    std::map<std::size_t, JobEnd> ends;
    std::string stoppedBy;
    std::function<void(std::size_t, const std::string&)> onLine;
};

TEST_F(Pool, AtMostNAtOnceEachInItsFolderWithItsOutputAndStatus)
{
    // Each job counts the jobs that run beside it through marker files.
    fs::create_directories(scratch.root / "running");
    std::vector<BatchJob> jobs;
    for (int i = 0; i < 5; ++i) {
        jobs.push_back(script("touch running/$$; sleep 0.2; ls running | wc -l; rm running/$$; pwd; "
                              "echo to-stderr >&2; printf last; exit " + std::to_string(i)));
        jobs.back().workDir = scratch.path();
    }
    jobs.push_back({{scratch.path() + "/no-such-program"}, scratch.path()});
    jobs.push_back(script("exit 0"));
    jobs.back().workDir = scratch.path() + "/no-such-folder";

    EXPECT_TRUE(run(jobs, 2));
    ASSERT_EQ(ends.size(), jobs.size());
    for (int i = 0; i < 5; ++i) {
        SCOPED_TRACE(i);
        const Lines& out = output[i];
        ASSERT_EQ(out.size(), 4u);
        EXPECT_LE(std::stoi(out[0]), 2);
        EXPECT_EQ(out[1], scratch.path());
        EXPECT_EQ(out[2], "to-stderr");
        EXPECT_EQ(out[3], "last");
        EXPECT_EQ(ends[i].how, JobEnd::How::Exited);
        EXPECT_EQ(ends[i].status, i);
        EXPECT_FALSE(ends[i].stopRequested);
        EXPECT_GE(ends[i].seconds, 0.19);
    }
    EXPECT_EQ(ends[5].status, 127);
    EXPECT_EQ(output[5], (Lines{"cannot start " + scratch.path() + "/no-such-program"}));
    EXPECT_EQ(ends[6].status, 127);
    EXPECT_EQ(output[6], (Lines{"cannot enter " + scratch.path() + "/no-such-folder"}));
    // The first two start together, the third only when one has ended.
    EXPECT_EQ(events[0], "start 0");
    EXPECT_EQ(events[1], "start 1");
    EXPECT_EQ(events[2].substr(0, 4), "end ");
}

TEST_F(Pool, WhatAnEndedJobLeavesBehindIsStopped)
{
    // The job ends at once and leaves a process in its group.
    EXPECT_TRUE(run({script("sleep 30 & echo $!")}, 1));
    ASSERT_EQ(output[0].size(), 1u);
    EXPECT_FALSE(alive(output[0][0]));
    EXPECT_EQ(ends[0].how, JobEnd::How::Exited);
    EXPECT_EQ(ends[0].status, 0);
}

TEST_F(Pool, ASignalStopsTheRunningJobsAndStartsNoMore)
{
    // The first job ends on SIGTERM; the second ignores it, and so does what
    // it started, so SIGKILL ends them after the grace time.
    const std::vector<BatchJob> jobs = {
        script("echo $$; exec sleep 30"),
        script("trap '' TERM; sleep 30 & echo $!; echo $$; wait"),
        script("echo never"),
    };
    int seen = 0;
    onLine = [&](std::size_t, const std::string&) {
        if (++seen == 3) ::kill(::getpid(), SIGINT);
    };
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(run(jobs, 2, 300));
    const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(stoppedBy, "SIGINT");
    EXPECT_LT(took, 5.0);
    EXPECT_EQ(ends[0].how, JobEnd::How::Signalled);
    EXPECT_EQ(ends[0].status, SIGTERM);
    EXPECT_TRUE(ends[0].stopRequested);
    EXPECT_EQ(ends[1].how, JobEnd::How::Signalled);
    EXPECT_EQ(ends[1].status, SIGKILL);
    EXPECT_GE(ends[1].seconds, 0.3);
    EXPECT_EQ(ends[2].how, JobEnd::How::NotStarted);
    EXPECT_TRUE(output[2].empty());
    EXPECT_EQ(events.back(), "end 2");
    for (const auto& [job, lines] : output)
        for (const std::string& pid : lines) EXPECT_FALSE(alive(pid)) << "job " << job << " left " << pid;
    // The program's own signals are as they were.
    sigset_t blocked;
    ::sigprocmask(SIG_BLOCK, nullptr, &blocked);
    EXPECT_FALSE(sigismember(&blocked, SIGINT));
}

TEST_F(Pool, AnIgnoredSignalStaysIgnored)
{
    struct sigaction ignore {}, before {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGHUP, &ignore, &before);
    onLine = [](std::size_t, const std::string&) { ::kill(::getpid(), SIGHUP); };
    EXPECT_TRUE(run({script("echo one; sleep 0.1; echo two")}, 1));
    ::sigaction(SIGHUP, &before, nullptr);
    EXPECT_EQ(stoppedBy, "");
    EXPECT_EQ(output[0], (Lines{"one", "two"}));
    EXPECT_EQ(ends[0].status, 0);
}

TEST_F(Pool, ASignalDuringThePreparationStartsNothing)
{
    BatchSignals signals;
    ::kill(::getpid(), SIGTERM);
    EXPECT_EQ(runJobPool({script("echo started")}, 1, std::chrono::milliseconds(300), signals, *this), SIGTERM);
    EXPECT_EQ(stoppedBy, "SIGTERM");
    EXPECT_EQ(events, (Lines{"end 0"}));
}

}  // namespace
}  // namespace ndx
