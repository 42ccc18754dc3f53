#pragma once
// The command line of ndxupgrade, read before anything of Qt exists, so that
// --help, --version and mistakes need neither a display nor a platform plugin.

#include <string>
#include <vector>

namespace ndx {

enum class Action { Window, Help, Version, Upgrade, QueryVersion, Diagnose, Find, History, ExportBackup, UsageError };

// The most devices a batch works on at once.
constexpr int kMaxJobs = 64;
constexpr int kDefaultJobs = 4;
// The most devices --expect can name (as many as the loader lists at once).
constexpr int kMaxExpected = 1024;

struct CommandLine {
    Action action = Action::Window;
    std::string mac, local, remote, interface, pe = "255";
    std::string error;  // for UsageError: what was wrong

    // Every --mac in order (mac is the first of them).
    std::vector<std::string> macs;
    // A batch: more than one --mac, a --mac-list, or one of the batch options.
    bool batch = false;
    std::string macList;  // --mac-list FILE
    int jobs = kDefaultJobs;
    std::string report;  // --report FILE
    std::string runDir;  // --run-dir DIR
    // One device of a batch, started by the batch itself (see batch.h).
    bool batchWorker = false;
    // The window shows its Diagnostic page, which it hides otherwise.
    bool diagnosticPage = false;
    // --find, and a batch of the devices that answer (--all-found): the
    // search window in milliseconds, 0 for the kit's own (Tool/find.txt).
    int findWindowMs = 0;
    bool allFound = false;
    // --expect N: the batch starts only when exactly N devices answered; 0: any number.
    int expect = 0;

    // The history: --history-db (a PostgreSQL URL or an SQLite file), and
    // an upgrade without its parameter backup.
    std::string historyDb;
    bool noBackup = false;
    // --history: --mac (mac, in the program's form), --since (as
    // parseUtcDate gives it), --format.
    std::string since;
    std::string historyFormat = "table";
    // --export-backup MAC (mac): --at (as parseUtcDate gives it), --out.
    std::string at, out;
};

CommandLine parseCommandLine(const std::vector<std::string>& args);

std::string usageText();
std::string versionText();
// The tool set's version number alone, as records in the history carry it.
std::string programVersion();

}  // namespace ndx
