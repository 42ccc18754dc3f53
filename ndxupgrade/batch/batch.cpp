#include "batch.h"

#include <cstdio>
#include <ctime>
#include <filesystem>

#include "batch_outputs.h"
#include "core/find_devices.h"
#include "core/interface_status.h"
#include "core/interruption.h"
#include "core/kit_lock.h"
#include "core/run_and_wait.h"
#include "core/upgrade.h"
#include "core/whole_file.h"
#include "device_list.h"
#include "device_outcome.h"
#include "history/operation_record.h"
#include "job_pool.h"
#include "pool_runner.h"
#include "run_folders.h"
#include "worker_protocol.h"

namespace ndx {
namespace {

// Time a stopped device gets between SIGTERM and SIGKILL.
constexpr std::chrono::milliseconds stopGrace{5000};

const char* const logName = "log.txt";

// Each device's log, its reports, and its line as it ends.
class DeviceRuns : public BatchListener {
public:
    DeviceRuns(std::vector<DeviceOutcome>& outcomes, LogMemo& out, LogMemo& errors)
        : outcomes_(outcomes), out_(out), errors_(errors), runs_(outcomes.size())
    {
    }
    ~DeviceRuns() override
    {
        for (Run& run : runs_)
            if (run.log) std::fclose(run.log);
    }

    void started(std::size_t job) override
    {
        Run& run = runs_[job];
        run.start = std::chrono::steady_clock::now();
        run.log = std::fopen(outcomes_[job].log.c_str(), "w");
        if (!run.log) errors_.addLine("ndxupgrade: cannot write " + outcomes_[job].log);
    }

    void line(std::size_t job, const std::string& text) override
    {
        Run& run = runs_[job];
        if (run.log) {
            const double at = std::chrono::duration<double>(std::chrono::steady_clock::now() - run.start).count();
            std::fprintf(run.log, "[%8.3f] %s\n", at, text.c_str());
            std::fflush(run.log);
        }
        // Why the loader could not work is worth a line on standard error,
        // once per device, as a single run gives it.
        if (!run.diagnosisShown && isLoaderDiagnosis(text)) {
            run.diagnosisShown = true;
            errors_.addLine(outcomes_[job].mac + ": " + text);
        }
        // A history that cannot be written is the same for every device:
        // told once for the batch.
        if (!historyNoticeShown_ && text.rfind(kHistoryNoticePrefix, 0) == 0) {
            historyNoticeShown_ = true;
            errors_.addLine(text + " (and likewise for the other devices; see their logs)");
        }
        const WorkerLine w = readWorkerLine(text);
        if (w.kind == WorkerLine::Kind::Stage) run.end.lastStage = w.value;
        if (w.kind == WorkerLine::Kind::Result) {
            run.end.resultSeen = true;
            run.end.resultOk = w.ok;
            run.end.resultValue = w.value;
        }
    }

    void ended(std::size_t job, const JobEnd& end) override
    {
        Run& run = runs_[job];
        DeviceOutcome& outcome = outcomes_[job];
        if (end.how == JobEnd::How::NotStarted) {
            outcome.result = DeviceResult::NotStarted;
            outcome.log.clear();
        } else {
            if (run.log) {
                std::fprintf(run.log, "[%8.3f] %s\n", end.seconds, howItEnded(end).c_str());
                std::fclose(run.log);
                run.log = nullptr;
            }
            run.end.exitedZero = end.how == JobEnd::How::Exited && end.status == 0;
            run.end.stopRequested = end.stopRequested;
            judgeDevice(run.end, outcome);
            outcome.seconds = end.seconds;
        }
        out_.addLine(deviceLine(outcome));
    }

    void stopping(const std::string& signalName) override
    {
        errors_.addLine("ndxupgrade: " + signalName + ": stopping the batch; the devices that run get SIGTERM");
    }

private:
    struct Run {
        std::FILE* log = nullptr;
        std::chrono::steady_clock::time_point start;
        DeviceEnd end;
        bool diagnosisShown = false;
    };

    static std::string howItEnded(const JobEnd& end)
    {
        switch (end.how) {
        case JobEnd::How::Exited: return "ndxupgrade: the device's run ended with status " + std::to_string(end.status);
        case JobEnd::How::Signalled:
            return "ndxupgrade: the device's run ended by signal " + std::to_string(end.status);
        case JobEnd::How::CouldNotStart: return "ndxupgrade: the device's run could not be started";
        case JobEnd::How::NotStarted: break;
        }
        return {};
    }

    std::vector<DeviceOutcome>& outcomes_;
    LogMemo& out_;
    LogMemo& errors_;
    std::vector<Run> runs_;
    bool historyNoticeShown_ = false;
};

void removeQuietly(const std::string& path)
{
    std::error_code ec;
    std::filesystem::remove(path, ec);
}

// The loader's lines during the search, on standard error.
class ErrorLines : public ChildOutput {
public:
    explicit ErrorLines(LogMemo& errors) : errors_(errors) {}
    void childLine(const std::string& child, const std::string& line) override
    {
        errors_.addLine(labelledChildLine(child, line));
    }

private:
    LogMemo& errors_;
};

// --all-found: the devices that answer on the interface make the batch; with
// --expect, only when exactly that many answered, so that a fixture with a
// dead slot stops instead of upgrading the others silently. 0 when the
// batch may start, else its exit status.
int findBatchDevices(const CommandLine& o, const std::string& base, const std::string& entryIp,
                     BatchServices& services, BatchSignals& signals, std::vector<std::string>& macs)
{
    LogMemo& errors = services.errors;
    PoolRunner runner(signals, stopGrace, errors);
    ErrorLines loaderLines(errors);
    Session session{base, entryIp, "", runner, services.boxes, &loaderLines, &errors};
    const FoundDevices found = findDevices(session, o.findWindowMs, &errors);
    if (const int s = runner.stoppedBy()) return signalExitStatus(s);
    if (found.outcome != FindOutcome::Found) {
        errors.addLine("ndxupgrade: no device answered on " + o.interface + "; nothing is started");
        return 1;
    }
    if (o.expect != 0 && found.devices.size() != static_cast<std::size_t>(o.expect)) {
        errors.addLine("ndxupgrade: " + std::to_string(found.devices.size()) + " answered on " + o.interface +
                       ", " + std::to_string(o.expect) + " expected; nothing is started");
        return 1;
    }
    for (const MacAddress& mac : found.devices) macs.push_back(macText(mac));
    return 0;
}

// Removes the run's plain parameter file and each device's link to it.
class PlainFiles {
public:
    ~PlainFiles() { remove(); }
    void remove()
    {
        for (const std::string& link : links) removeQuietly(link);
        if (!plain.empty()) removeQuietly(plain);
    }
    std::string plain;
    std::vector<std::string> links;
};

}  // namespace

int runBatch(const CommandLine& o, const std::string& base, BatchServices services)
{
    LogMemo& errors = services.errors;
    std::vector<std::string> macs, listErrors;
    if (!o.allFound && !collectBatchDevices(o.macs, o.macList, macs, listErrors)) {
        for (const std::string& e : listErrors) errors.addLine("ndxupgrade: " + e);
        return 2;
    }
    std::string error;
    if (!o.runDir.empty() && !checkRunFolderRequest(o.runDir, error)) {
        errors.addLine("ndxupgrade: cannot make the run folder " + error);
        return 2;
    }
    if (!o.report.empty() && !checkReportPath(o.report, o.macList, error)) {
        errors.addLine("ndxupgrade: cannot write the report " + error);
        return 2;
    }
    // From here a Ctrl-C waits for the pool, which stops cleanly.
    BatchSignals signals;
    if (signals.fd() < 0 || services.program.empty()) {
        errors.addLine("ndxupgrade: cannot set up the batch (signal descriptor or own path missing)");
        return 1;
    }
    std::string entryIp;
    if (!selectInterface(o.interface, services.interfaces, services.boxes, errors, entryIp)) return 1;

    const bool upgrade = o.action == Action::Upgrade;
    // The plain parameter file lives only as long as the batch, whatever ends it.
    PlainFiles plainFiles;
    std::string run;
    std::vector<DeviceOutcome> outcomes;
    std::vector<BatchJob> jobs;
    {
        // The kit's files are read while no single run from the same kit
        // writes them; from then on the devices use the run folder alone.
        KitLock lock(base);
        if (!lock.refusal().empty()) {
            errors.addLine(lock.refusal());
            return 1;
        }
        if (o.allFound)
            if (const int status = findBatchDevices(o, base, entryIp, services, signals, macs)) return status;
        outcomes.resize(macs.size());
        if (!makeRunFolder(base, o.runDir, std::time(nullptr), run, error)) {
            errors.addLine("ndxupgrade: cannot make the run folder " + error);
            return 1;
        }
        errors.addLine("ndxupgrade: run folder " + run + " (" + std::to_string(macs.size()) +
                       (macs.size() == 1 ? " device" : " devices") + ", at most " + std::to_string(o.jobs) +
                       " at once)");
        if (upgrade) {
            plainFiles.plain = run + "/" + plainParameterFileName;
            // Decoded once for every device; made from Tool's plain file when
            // the kit has no scrambled one, as the window does.
            if (!preparePlainParameterFile(base, services.boxes, plainFiles.plain)) return 1;
        }
        for (std::size_t i = 0; i < macs.size(); ++i) {
            std::string folder;
            if (!makeDeviceFolder(base, run, macs[i], plainFiles.plain, folder, error)) {
                errors.addLine("ndxupgrade: cannot make the device folder " + error);
                return 1;
            }
            if (upgrade) plainFiles.links.push_back(deviceParameterLink(folder));
            outcomes[i].mac = macs[i];
            outcomes[i].log = folder + "/" + logName;
            BatchJob job{{services.program, upgrade ? "--upgrade" : "--query-version", "--mac", macs[i],
                          "--interface", o.interface, "--batch-worker"},
                         folder};
            if (o.noBackup) job.argv.push_back("--no-backup");
            if (!o.historyDb.empty()) job.argv.insert(job.argv.end(), {"--history-db", o.historyDb});
            jobs.push_back(std::move(job));
        }
    }

    DeviceRuns devices(outcomes, services.out, errors);
    const int stoppedBy = runJobPool(jobs, o.jobs, stopGrace, signals, devices);
    plainFiles.remove();

    bool allOk = true;
    for (const DeviceOutcome& outcome : outcomes) allOk = allOk && outcome.result == DeviceResult::Ok;
    const std::string report = reportCsv(outcomes);
    for (const std::string& path : {run + "/report.csv", o.report}) {
        if (path.empty()) continue;
        if (!writeWholeFile(path, report, error)) {
            errors.addLine("ndxupgrade: cannot write the report " + error);
            allOk = false;
        }
    }
    if (stoppedBy) {
        errors.addLine("ndxupgrade: " + signalName(stoppedBy) + " stopped the batch" +
                       (upgrade ? "; the flash of each STOPPED device may be half-programmed: upgrade it again."
                                : "."));
    }
    services.out.addLine(summaryLine(outcomes));
    if (stoppedBy) return signalExitStatus(stoppedBy);
    return allOk ? 0 : 1;
}

}  // namespace ndx
