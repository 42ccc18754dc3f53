#include "command_line.h"

#include "core/find_devices.h"
#include "core/mac_fields.h"
#include "core/utc_time.h"

namespace ndx {
namespace {

Action modeOf(const std::string& a)
{
    if (a == "--upgrade") return Action::Upgrade;
    if (a == "--query-version") return Action::QueryVersion;
    if (a == "--diagnose") return Action::Diagnose;
    if (a == "--find") return Action::Find;
    if (a == "--gui") return Action::Window;
    if (a == "--history") return Action::History;
    return Action::UsageError;
}

// The window's toolkit takes options of its own (-platform offscreen,
// -style Fusion …); they are left to it.
bool isToolkitOption(const std::string& a, bool& takesValue)
{
    static const char* const withValue[] = {"-platform", "-platformpluginpath", "-platformtheme", "-plugin",
                                            "-style", "-stylesheet", "-session", "-display", "-geometry",
                                            "-qwindowgeometry", "-qwindowicon", "-qwindowtitle", "-title"};
    static const char* const flags[] = {"-reverse", "-nograb", "-dograb", "-sync", "-widgetcount"};
    for (const char* o : withValue)
        if (a == o) return takesValue = true;
    for (const char* o : flags)
        if (a == o) {
            takesValue = false;
            return true;
        }
    return false;
}

// Decimal digits only (no sign, no blanks), at most `largest`.
bool isNumberUpTo(const std::string& text, int largest)
{
    const bool digits = !text.empty() && text.size() <= 3 && text.find_first_not_of("0123456789") == std::string::npos;
    return digits && std::stoi(text) <= largest;
}

CommandLine only(Action action, const std::string& error = {})
{
    CommandLine c;
    c.action = action;
    c.error = error;
    return c;
}

CommandLine usageError(const std::string& error)
{
    return only(Action::UsageError, "ndxupgrade: " + error);
}

// A whole decimal number from 1 to max; 0 for anything else.
int countFrom(const std::string& text, int max)
{
    if (text.empty() || text.size() > 6 || text.find_first_not_of("0123456789") != std::string::npos) return 0;
    const int n = std::stoi(text);
    return n <= max ? n : 0;
}

// The options of the device search: --find alone, or --all-found with a batch mode.
std::string searchOptionError(const CommandLine& c, bool windowGiven, bool expectGiven)
{
    if (windowGiven && c.findWindowMs == 0)
        return "--window needs a number of milliseconds from 1 to " + std::to_string(kMaxFindWindowMs);
    if (expectGiven && c.expect == 0)
        return "--expect needs a number of devices from 1 to " + std::to_string(kMaxExpected);
    if (c.action == Action::Find) {
        if (c.interface.empty()) return "--find needs --interface";
        // c.batch covers --mac-list, the batch options and --all-found.
        if (!c.macs.empty() || !c.local.empty() || !c.remote.empty() || expectGiven || c.batch || c.batchWorker)
            return "--find takes only --interface and --window";
        return {};
    }
    if (c.allFound) {
        if (c.action != Action::Upgrade && c.action != Action::QueryVersion)
            return "--all-found is for --upgrade and --query-version";
        if (!c.macs.empty() || !c.macList.empty()) return "--all-found takes no --mac or --mac-list";
        if (c.interface.empty()) return "--all-found needs --interface";
        if (c.batchWorker) return "--batch-worker runs one device of a batch; it takes no --all-found";
        return {};
    }
    if (expectGiven) return "--expect needs --all-found";
    if (windowGiven) return "--window is for --find and --all-found";
    return {};
}

}  // namespace

std::string usageText()
{
    return "usage: ndxupgrade [--gui] [--diagnostic-page]\n"
           "       ndxupgrade --upgrade --mac MAC --interface IFACE\n"
           "       ndxupgrade --query-version --mac MAC --interface IFACE\n"
           "       ndxupgrade --upgrade | --query-version --interface IFACE\n"
           "                  --mac MAC [--mac MAC ...] | --mac-list FILE\n"
           "                  [--jobs N] [--report FILE] [--run-dir DIR]\n"
           "       ndxupgrade --upgrade | --query-version --interface IFACE --all-found\n"
           "                  [--expect N] [--window MS] [--jobs N] [--report FILE] [--run-dir DIR]\n"
           "       ndxupgrade --find --interface IFACE [--window MS]\n"
           "       ndxupgrade --diagnose --local MAC --remote MAC [--interface IFACE] [--pe PE]\n"
           "       ndxupgrade --history [--mac MAC] [--since DATE] [--format table|csv|json]\n"
           "       ndxupgrade --export-backup MAC [--at DATE] --out FILE\n"
           "       ndxupgrade --help | --version\n"
           "Every mode takes --history-db postgresql://user@host:port/db (or NDX_HISTORY_DB)\n"
           "for a history shared by the PCs of a line; an upgrade takes --no-backup.\n"
           "Without options (or with --gui) the upgrade window opens; --diagnostic-page\n"
           "also shows its Diagnostic page, the link test for engineers. The other modes run\n"
           "one procedure without a window: log on standard output, the children's output\n"
           "on standard error; exit status 0 success, 1 failure, 2 a command-line error,\n"
           "128 + the signal when SIGINT, SIGTERM or SIGHUP stopped it.\n"
           "Several devices, a list or a batch option make a batch: at most N devices at\n"
           "once (4), one line per device as it ends and a summary on standard output,\n"
           "each device's log and a CSV report in the run folder.\n"
           "--find lists the devices that answer on the interface within the window\n"
           "(500 ms, at most 10000), one MAC a line; status 1 when none answered.\n"
           "--all-found makes a batch of them; with --expect N it starts nothing unless\n"
           "exactly N answered (a fixture of 16: --all-found --expect 16).\n"
           "Every operation is recorded in $XDG_STATE_HOME/" NDXUPGRADE_PACKAGE_NAME "/history.sqlite;\n"
           "an upgrade first backs up the device's parameters there. DATE is UTC:\n"
           "2026-12-08, 2026-12-08T14:30 or 2026-12-08T14:30:05.\n";
}

// The tool set's version, the one the package and hostlink -v carry; the
// window's caption keeps the front end's own version text.
std::string versionText()
{
    return std::string("ndxupgrade (" NDXUPGRADE_PACKAGE_NAME ") " TOOLSET_VERSION "\n");
}

std::string programVersion()
{
    return TOOLSET_VERSION;
}

CommandLine parseCommandLine(const std::vector<std::string>& args)
{
    for (const std::string& a : args) {
        if (a == "--help" || a == "-h") return only(Action::Help);
        if (a == "--version") return only(Action::Version);
    }
    CommandLine c;
    bool modeGiven = false, jobsGiven = false, windowGiven = false, expectGiven = false;
    std::string jobsText, mac, windowText, expectText;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const Action mode = modeOf(a);
        if (mode != Action::UsageError) {
            if (modeGiven && c.action != mode) return usageError(a + " cannot be combined with another mode");
            c.action = mode;
            modeGiven = true;
            continue;
        }
        if (a == "--batch-worker") {
            c.batchWorker = true;
            continue;
        }
        if (a == "--diagnostic-page") {
            c.diagnosticPage = true;
            continue;
        }
        if (a == "--no-backup") {
            c.noBackup = true;
            continue;
        }
        if (a == "--export-backup") {
            if (modeGiven && c.action != Action::ExportBackup)
                return usageError(a + " cannot be combined with another mode");
            if (i + 1 >= args.size()) return usageError(a + " needs a value");
            c.action = Action::ExportBackup;
            modeGiven = true;
            mac = args[++i];
            c.macs.push_back(mac);
            continue;
        }
        if (a == "--all-found") {
            c.allFound = true;
            continue;
        }
        std::string* value = a == "--mac" ? &mac
                             : a == "--local" ? &c.local
                             : a == "--remote" ? &c.remote
                             : a == "--interface" ? &c.interface
                             : a == "--pe" ? &c.pe
                             : a == "--mac-list" ? &c.macList
                             : a == "--jobs" ? &jobsText
                             : a == "--report" ? &c.report
                             : a == "--run-dir" ? &c.runDir
                             : a == "--history-db" ? &c.historyDb
                             : a == "--since" ? &c.since
                             : a == "--format" ? &c.historyFormat
                             : a == "--at" ? &c.at
                             : a == "--out" ? &c.out
                             : a == "--window" ? &windowText
                             : a == "--expect" ? &expectText
                                                 : nullptr;
        bool takesValue = false;
        if (!value && isToolkitOption(a, takesValue)) {
            if (takesValue && ++i >= args.size()) return usageError(a + " needs a value");
            continue;
        }
        if (!value) return usageError("unknown option " + a);
        if (i + 1 >= args.size()) return usageError(a + " needs a value");
        *value = args[++i];
        const bool batchOption = value == &c.macList || value == &jobsText || value == &c.report || value == &c.runDir;
        const bool historyOption = value == &c.historyDb || value == &c.since || value == &c.at || value == &c.out;
        if ((batchOption || historyOption) && value->empty()) return usageError(a + " needs a value");
        if (value == &mac) c.macs.push_back(mac);
        if (value == &jobsText) jobsGiven = true;
        if (value == &windowText) windowGiven = true;
        if (value == &expectText) expectGiven = true;
    }
    if (!c.macs.empty()) c.mac = c.macs.front();
    if (jobsGiven && (!isNumberUpTo(jobsText, kMaxJobs) || std::stoi(jobsText) < 1))
        return usageError("--jobs needs a number from 1 to " + std::to_string(kMaxJobs));
    if (jobsGiven) c.jobs = std::stoi(jobsText);
    const bool batchOptions = !c.macList.empty() || jobsGiven || !c.report.empty() || !c.runDir.empty();
    c.batch = c.macs.size() > 1 || batchOptions || c.allFound;
    if (windowGiven) c.findWindowMs = countFrom(windowText, kMaxFindWindowMs);
    if (expectGiven) c.expect = countFrom(expectText, kMaxExpected);
    if (const std::string error = searchOptionError(c, windowGiven, expectGiven); !error.empty())
        return usageError(error);
    if (c.diagnosticPage && c.action != Action::Window)
        return usageError("--diagnostic-page is for the window; it takes no other mode");
    if (c.noBackup && c.action != Action::Upgrade) return usageError("--no-backup is for --upgrade");
    const bool lookup = c.action == Action::History || c.action == Action::ExportBackup;
    if (!lookup && (!c.since.empty() || !c.at.empty() || !c.out.empty() || c.historyFormat != "table"))
        return usageError("--since, --format, --at and --out are for --history and --export-backup");
    if (lookup) {
        if (!c.interface.empty() || !c.local.empty() || !c.remote.empty() || c.batch || c.batchWorker)
            return usageError("--history and --export-backup take one --mac at most and no device options");
        if (!c.mac.empty() && !normalMac(c.mac, c.mac)) return usageError("not a MAC address: " + c.mac);
        for (std::string* date : {&c.since, &c.at})
            if (!date->empty() && !parseUtcDate(*date, *date))
                return usageError("not a date: " + *date + " (2026-12-08, 2026-12-08T14:30 or 2026-12-08T14:30:05, UTC)");
        if (c.historyFormat != "table" && c.historyFormat != "csv" && c.historyFormat != "json")
            return usageError("--format takes table, csv or json");
        if (c.action == Action::History && (!c.at.empty() || !c.out.empty()))
            return usageError("--at and --out are for --export-backup");
        if (c.action == Action::ExportBackup && (!c.since.empty() || c.historyFormat != "table"))
            return usageError("--since and --format are for --history");
        if (c.action == Action::ExportBackup && c.out.empty()) return usageError("--export-backup needs --out FILE");
        return c;
    }
    switch (c.action) {
    case Action::Window:
        if (!c.macs.empty() || !c.local.empty() || !c.remote.empty() || !c.interface.empty() || batchOptions ||
            c.batchWorker)
            return usageError("the window takes no device options; add --upgrade, --query-version or --diagnose");
        break;
    case Action::Diagnose:
        if (c.local.empty() || c.remote.empty()) return usageError("--diagnose needs --local and --remote");
        // The window passes its PE text on as typed; a command line is
        // checked, so that a mistake is found before any device is asked.
        if (!isNumberUpTo(c.pe, 255)) return usageError("--pe needs a number from 0 to 255");
        if (c.batch || c.batchWorker) return usageError("--diagnose works on one pair of devices; it takes no batch options");
        break;
    case Action::Find: break;  // checked with the other search options
    default:
        if (c.allFound) break;
        if (c.macList.empty() && (c.macs.empty() || c.interface.empty()))
            return usageError("this mode needs --mac and --interface");
        if (c.interface.empty()) return usageError("a batch needs --interface");
        if (c.batchWorker && (c.batch || c.macs.size() != 1))
            return usageError("--batch-worker runs one device of a batch; it takes one --mac and no batch options");
        break;
    }
    return c;
}

}  // namespace ndx
