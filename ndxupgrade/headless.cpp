#include "headless.h"

#include <filesystem>
#include <optional>

#include "core/diagnostics.h"
#include "core/find_devices.h"
#include "core/interface_status.h"
#include "core/interruption.h"
#include "core/kit_lock.h"
#include "core/mac_fields.h"
#include "core/quiet_seams.h"
#include "core/upgrade.h"
#include "batch/worker_protocol.h"
#include "core/log_tail.h"
#include "history/operation_trace.h"

namespace ndx {

namespace {

// The upgrade or version query of one device of a batch, in its own folder:
// the batch has put the plain parameter file in place and removes it itself.
bool runBatchDevice(const CommandLine& o, Session& session, const std::string& entryIp, LogMemo& log,
                    LogMemo& report)
{
    session.stageChanged = [&](const std::string& stage) { report.addLine(workerStageLine(stage)); };
    MacFields fields;
    MacAddress target{};
    readMacText(o.mac, fields);
    enterStage(session, "MAC address");
    bool ok = checkUpgradeInputs(entryIp, fields, session.boxes, session.interfaceIp, target);
    if (ok && o.action == Action::QueryVersion) {
        ok = versionClick(session, target, &log);
    } else if (ok) {
        ok = upgradeProcedure(session, target, log, &log);
        showUpgradeOutcome(session, ok);
    }
    report.addLine(workerResultLine(ok, ok ? session.versionText : session.stage));
    return ok;
}

// The devices that answer, one MAC a line, for scripts; true when at least
// one answered.
bool findAndList(const CommandLine& o, Session& session, const std::string& entryIp, LogMemo& log,
                 LogMemo* results)
{
    session.interfaceIp = entryIp;
    const FoundDevices found = findDevices(session, o.findWindowMs, &log);
    if (found.outcome != FindOutcome::Found) return false;
    for (const MacAddress& mac : found.devices) logLine(results, macText(mac));
    return true;
}

// Only the final results are worth a line; the zeros shown while per_test.sh
// runs are not.
struct ResultLine : DiagDisplay {
    std::string line;
    void showResults(const std::string& snr, const std::string& per, const std::string& pe) override
    {
        line = "SNR " + snr + " PER " + per + " PE " + pe;
    }
};

// What the record of the command line's operation is about.
OperationSubject subjectOf(const CommandLine& o, const std::string& base)
{
    OperationSubject subject;
    const bool pair = o.action == Action::Diagnose;
    subject.action = pair ? kActionDiagnosis : o.action == Action::Upgrade ? kActionUpgrade : kActionVersionQuery;
    subject.interface = o.interface;
    normalMac(pair ? o.local : o.mac, subject.mac);
    if (pair) normalMac(o.remote, subject.remoteMac);
    subject.base = base;
    // A batch's device works in its folder inside the run folder.
    if (o.batchWorker) subject.runFolder = std::filesystem::path(base).parent_path().string();
    return subject;
}

// The procedure of the command line, after the interface and the kit have
// been settled; true on success.
bool runProcedure(const CommandLine& o, Session& session, const std::string& entryIp, LogMemo& log)
{
    if (o.action == Action::Diagnose) {
        MacFields localFields, remoteFields;
        MacAddress local{}, remote{};
        readMacText(o.local, localFields);
        readMacText(o.remote, remoteFields);
        if (!checkDiagnosticInputs(entryIp, localFields, remoteFields, session.boxes, session.interfaceIp, local,
                                   remote))
            return false;
        ResultLine display;
        if (!diagnoseClick(session, local, remote, o.pe, display)) return false;
        log.addLine(display.line);
        return true;
    }
    MacFields fields;
    MacAddress target{};
    readMacText(o.mac, fields);
    if (!checkUpgradeInputs(entryIp, fields, session.boxes, session.interfaceIp, target)) return false;
    if (o.action == Action::QueryVersion) return versionClick(session, target, &log);
    return downloadClick(session, target, log, &log) == ClickOutcome::Success;
}

}  // namespace

int runHeadless(const CommandLine& o, const std::string& base, HeadlessServices services)
{
    InterfaceSource& interfaces = services.interfaces;
    LogMemo& errors = services.errors ? *services.errors : services.log;
    // A MAC address that is not one is a mistake on the command line, as it
    // is for a batch.
    const bool pair = o.action == Action::Diagnose;
    const bool find = o.action == Action::Find;
    for (const std::string* text : {pair ? &o.local : &o.mac, pair ? &o.remote : &o.mac}) {
        MacAddress unused{};
        if (!find && !readMacAddress(*text, unused)) {
            errors.addLine("ndxupgrade: not a MAC address: " + *text);
            return 2;
        }
    }
    // Kept for the record: the log lines and the children's output.
    OperationTrace trace(subjectOf(o, base));
    TailedLog tailedLog(services.log, trace.tail());
    TailedChildOutput tailedChildren(services.childOutput, trace.tail());
    LogMemo& log = tailedLog;
    // A search is no operation on a device: it leaves no record.
    const auto record = [&](const Session& session, bool ok, bool stopped) {
        if (services.history && !find) services.history->write(trace.finish(session, ok, stopped));
    };

    std::string entryIp;
    if (o.batchWorker && services.workerReport) services.workerReport->addLine(workerStageLine("interface"));
    if (!selectInterface(o.interface, interfaces, services.boxes, log, entryIp)) {
        if (o.batchWorker && services.workerReport) services.workerReport->addLine(workerResultLine(false, "interface"));
        Session refused{base, "", "", services.runner, services.boxes};
        refused.stage = "interface";
        record(refused, false, false);
        return 1;
    }

    // One procedure per kit at a time; a batch's device has a kit of its own.
    std::optional<KitLock> lock;
    if (!o.batchWorker) {
        lock.emplace(base);
        if (!lock->refusal().empty()) {
            errors.addLine(lock->refusal());
            return 1;
        }
    }

    // Once a stop signal has stopped the child, the steps it ends are not
    // failures to report: one line says what was stopped.
    const auto stopSignal = [&] { return services.stopSignal ? services.stopSignal() : 0; };
    const QuietWhen stopped = [&] { return stopSignal() != 0; };
    QuietBoxes boxes(services.boxes, stopped);
    QuietLog quietLog(log, stopped);
    std::optional<QuietLog> quietHints;
    if (services.failureHints) quietHints.emplace(*services.failureHints, stopped);
    Session session{base, "", "", services.runner, boxes, &tailedChildren, quietHints ? &*quietHints : nullptr};
    session.backupFirst = !o.noBackup;
    const bool ok = o.batchWorker && services.workerReport
                        ? runBatchDevice(o, session, entryIp, quietLog, *services.workerReport)
                    : find ? findAndList(o, session, entryIp, quietLog, services.results)
                           : runProcedure(o, session, entryIp, quietLog);
    const int s = stopSignal();
    // A signal that came after the last step leaves a finished procedure as
    // it is; the program still ends as the signal asks.
    if (s && !ok) {
        const Procedure procedure = o.action == Action::Upgrade        ? Procedure::Upgrade
                                    : o.action == Action::QueryVersion ? Procedure::VersionQuery
                                    : find                             ? Procedure::DeviceSearch
                                                                       : Procedure::Diagnosis;
        log.addLine(interruptedLine(s, procedure, pair ? o.local + " and " + o.remote : find ? o.interface : o.mac,
                                    session.stage));
    }
    record(session, ok, s != 0 && !ok);
    if (!s) return ok ? 0 : 1;
    return signalExitStatus(s);
}

}  // namespace ndx
