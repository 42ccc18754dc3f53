// The history's costs: what writing one record adds to an operation (open,
// schema check, insert with a backup and 50 log lines, close), and how long
// `ndxupgrade --history` takes over 100,000 records. Run by hand:
//   build/bin/history_bench [records]
#include <QCoreApplication>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "history/history_database.h"
#include "history/history_output.h"
#include "history/history_store.h"
#include "history/operation_trace.h"

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

ndx::OperationRecord sample(int n)
{
    char mac[32], started[40];
    std::snprintf(mac, sizeof mac, "0A-3F-71-%02X-%02X-%02X", (n >> 16) & 255, (n >> 8) & 255, n & 255);
    std::snprintf(started, sizeof started, "2026-%02d-%02dT%02d:%02d:%02d.000Z", 1 + n / 300000 % 12,
                  1 + n / 10000 % 28, n / 400 % 24, n / 7 % 60, n % 60);
    ndx::OperationRecord r;
    r.uid = "bench-" + std::to_string(n);
    r.startedAt = r.endedAt = started;
    r.host = "station-1";
    r.osUser = "tech";
    r.programVersion = "1.3.2.10";
    r.action = ndx::kActionUpgrade;
    r.interface = "eth1";
    r.mac = mac;
    r.result = n % 10 ? "ok" : "failed";
    r.versionBefore = "1.3.1";
    r.versionAfter = "1.3.2";
    r.parameterSha256 = std::string(64, 'a');
    r.imageSha256 = std::string(64, 'b');
    r.kitDir = "/opt/ndx470";
    r.backupStatus = "stored";
    for (int i = 0; i < 50; ++i) r.log += "hostlink: a line of the step's log, about this long " + std::to_string(i) + "\n";
    r.backup = ndx::ParameterBackup{mac, started, std::string(64, 'c'), std::vector<std::uint8_t>(428, 0x5a)};
    return r;
}

double run(const std::string& command)
{
    const Clock::time_point start = Clock::now();
    if (std::system(command.c_str()) != 0) std::fprintf(stderr, "failed: %s\n", command.c_str());
    return msSince(start);
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int records = argc > 1 ? std::atoi(argv[1]) : 100000;
    QTemporaryDir dir;
    const std::string file = dir.path().toStdString() + "/history.sqlite";

    // One record per operation, as the programs write it.
    ndx::HistoryStore store(file, std::nullopt, [](const std::string& line) { std::puts(line.c_str()); });
    std::vector<double> writes;
    for (int i = 0; i < 200; ++i) {
        const Clock::time_point start = Clock::now();
        store.write(sample(i));
        writes.push_back(msSince(start));
    }
    std::sort(writes.begin(), writes.end());
    std::printf("record write (open, check, insert, close), 200 records: median %.2f ms, 95%% %.2f ms, max %.2f ms\n",
                writes[100], writes[190], writes.back());

    ndx::DatabaseLocation where;
    where.path = file;
    ndx::HistoryDatabase db(where);
    std::string error;
    if (!db.open(error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    const Clock::time_point fill = Clock::now();
    for (int i = 200; i < records; ++i) db.insert(sample(i), false, error);
    std::printf("filled to %d records in %.1f s\n", records, msSince(fill) / 1000);

    {
        ndx::HistoryFilter all;
        all.withLog = false;
        std::vector<ndx::OperationRecord> found;
        Clock::time_point start = Clock::now();
        db.query(all, found, error);
        std::printf("in process: query of all %zu without logs %.0f ms", found.size(), msSince(start));
        start = Clock::now();
        const std::string text = ndx::formatHistory(found, ndx::HistoryFormat::Table);
        std::printf(", table text %.0f ms (%zu bytes)\n", msSince(start), text.size());
    }
    const std::string program = NDXUPGRADE_BINARY " --history-db '" + file + "' --history";
    std::printf("--history (table, all %d) > /dev/null: %.0f ms\n", records, run(program + " > /dev/null"));
    std::printf("--history (table, all) again: %.0f ms\n", run(program + " > /dev/null"));
    std::printf("--history --mac (one device): %.0f ms\n", run(program + " --mac 0A-3F-71-00-30-39 > /dev/null"));
    std::printf("--history --since (the newest month): %.0f ms\n",
                run(program + " --since 2026-12-01 > /dev/null"));
    std::printf("--history --format csv (all, with logs): %.0f ms\n", run(program + " --format csv > /dev/null"));
    std::printf("--export-backup (newest of one device): %.0f ms\n",
                run(NDXUPGRADE_BINARY " --history-db '" + file + "' --export-backup 0A-3F-71-00-30-39 --out '" +
                    dir.path().toStdString() + "/b.bin' > /dev/null"));
    return 0;
}
