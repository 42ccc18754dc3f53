#include "headless.h"

#include "core/diagnostics.h"
#include "core/find_devices.h"
#include "core/interface_status.h"
#include "core/mac_fields.h"
#include "core/upgrade.h"
#include "batch/worker_protocol.h"

namespace ndx {

// A not-ready interface is refused as the window's disabled buttons would
// refuse it. Without a name, the first entry is used, which is the window's
// initial selection.
bool selectInterface(const std::string& name, InterfaceSource& interfaces, MessageBoxes& boxes, LogMemo& log,
                     std::string& entryIp)
{
    InterfaceTable table;
    std::vector<std::string> items;
    if (!fillInterfaceTable(interfaces, boxes, table, items)) return false;
    InterfaceEntry* entry = nullptr;
    for (InterfaceEntry& e : table)
        if (name.empty() || e.deviceName == name) {
            entry = &e;
            break;
        }
    if (!entry) {
        log.addLine("Err: interface " + (name.empty() ? std::string("(none)") : name) + " is not listed.");
        return false;
    }
    StatusPanel panel;
    bool dhcpWait = false;
    if (!refreshStatus(interfaces, boxes, entry, panel, dhcpWait)) {
        log.addLine("Err: interface " + entry->deviceName + " is not ready:" + panel.text);
        return false;
    }
    log.addLine("Interface " + entry->deviceName + ":" + panel.text);
    entryIp = entry->ipv4;
    return true;
}

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

// The devices that answer, one MAC a line, for scripts: status 0 when at
// least one answered.
int runFind(const CommandLine& o, Session& session, const std::string& entryIp, LogMemo& log, LogMemo* results)
{
    session.interfaceIp = entryIp;
    const FoundDevices found = findDevices(session, o.findWindowMs, &log);
    if (found.outcome != FindOutcome::Found) return 1;
    for (const MacAddress& mac : found.devices) logLine(results, macText(mac));
    return 0;
}

}  // namespace

int runHeadless(const CommandLine& o, const std::string& base, HeadlessServices services)
{
    InterfaceSource& interfaces = services.interfaces;
    MessageBoxes& boxes = services.boxes;
    LogMemo& log = services.log;
    std::string entryIp;
    if (o.batchWorker && services.workerReport) services.workerReport->addLine(workerStageLine("interface"));
    if (!selectInterface(o.interface, interfaces, boxes, log, entryIp)) {
        if (o.batchWorker && services.workerReport) services.workerReport->addLine(workerResultLine(false, "interface"));
        return 1;
    }

    Session session{base, "", "", services.runner, boxes, services.childOutput, services.failureHints};
    if (o.batchWorker && services.workerReport)
        return runBatchDevice(o, session, entryIp, log, *services.workerReport) ? 0 : 1;
    if (o.action == Action::Find) return runFind(o, session, entryIp, log, services.results);
    if (o.action == Action::Diagnose) {
        MacFields localFields, remoteFields;
        MacAddress local{}, remote{};
        // A MAC that does not split into six parts fails the check below.
        readMacText(o.local, localFields);
        readMacText(o.remote, remoteFields);
        if (!checkDiagnosticInputs(entryIp, localFields, remoteFields, boxes, session.interfaceIp, local, remote))
            return 1;
        // Only the final results are worth a line; the zeros shown while
        // per_test.sh runs are not.
        struct : DiagDisplay {
            std::string line;
            void showResults(const std::string& snr, const std::string& per, const std::string& pe) override
            {
                line = "SNR " + snr + " PER " + per + " PE " + pe;
            }
        } display;
        if (!diagnoseClick(session, local, remote, o.pe, display)) return 1;
        log.addLine(display.line);
        return 0;
    }

    MacFields fields;
    MacAddress target{};
    readMacText(o.mac, fields);
    if (!checkUpgradeInputs(entryIp, fields, boxes, session.interfaceIp, target)) return 1;
    if (o.action == Action::QueryVersion) return versionClick(session, target, &log) ? 0 : 1;
    return downloadClick(session, target, log, &log) == ClickOutcome::Success ? 0 : 1;
}

}  // namespace ndx
