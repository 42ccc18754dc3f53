#include "headless.h"

#include <cstdio>

#include "core/diagnostics.h"
#include "core/interface_status.h"
#include "core/mac_fields.h"
#include "core/upgrade.h"

namespace ndx {
namespace {

const char* const kUsage =
    "usage: ndxupgrade --upgrade --mac MAC --interface IFACE\n"
    "       ndxupgrade --query-version --mac MAC --interface IFACE\n"
    "       ndxupgrade --diagnose --local MAC --remote MAC [--interface IFACE] [--pe PE]\n";

enum class Mode { None, Upgrade, QueryVersion, Diagnose };

struct Options {
    Mode mode = Mode::None;
    std::string mac, local, remote, interface, pe = "255";
};

bool parseOptions(const std::vector<std::string>& args, Options& o)
{
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        Mode m = a == "--upgrade" ? Mode::Upgrade
                 : a == "--query-version" ? Mode::QueryVersion
                 : a == "--diagnose" ? Mode::Diagnose
                                     : Mode::None;
        if (m != Mode::None) {
            if (o.mode != Mode::None) return false;
            o.mode = m;
            continue;
        }
        std::string* value = a == "--mac" ? &o.mac
                             : a == "--local" ? &o.local
                             : a == "--remote" ? &o.remote
                             : a == "--interface" ? &o.interface
                             : a == "--pe" ? &o.pe
                                           : nullptr;
        if (!value || i + 1 >= args.size()) return false;
        *value = args[++i];
    }
    if (o.mode == Mode::Diagnose) return !o.local.empty() && !o.remote.empty();
    return o.mode != Mode::None && !o.mac.empty() && !o.interface.empty();
}

// Finds the interface as the window's combo box would list it and refreshes
// its status; a not-ready interface is refused as the window's disabled
// buttons would refuse it. Without a name, the first entry is used, which is
// the window's initial selection.
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

}  // namespace

bool wantsHeadless(const std::vector<std::string>& args)
{
    for (const std::string& a : args)
        if (a == "--upgrade" || a == "--query-version" || a == "--diagnose") return true;
    return false;
}

int runHeadless(const std::vector<std::string>& args, const std::string& base, InterfaceSource& interfaces,
                ProcessRunner& runner, MessageBoxes& boxes, LogMemo& log)
{
    Options o;
    if (!parseOptions(args, o)) {
        std::fputs(kUsage, stderr);
        return 1;
    }
    std::string entryIp;
    if (!selectInterface(o.interface, interfaces, boxes, log, entryIp)) return 1;

    Session session{base, "", "", runner, boxes};
    if (o.mode == Mode::Diagnose) {
        MacFields localFields, remoteFields;
        MacAddress local{}, remote{};
        // A MAC that does not split into six parts fails the check below.
        splitMacText(o.local, localFields);
        splitMacText(o.remote, remoteFields);
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
    splitMacText(o.mac, fields);
    if (!checkUpgradeInputs(entryIp, fields, boxes, session.interfaceIp, target)) return 1;
    if (o.mode == Mode::QueryVersion) return versionClick(session, target, &log) ? 0 : 1;
    return downloadClick(session, target, log, &log) == ClickOutcome::Success ? 0 : 1;
}

}  // namespace ndx
