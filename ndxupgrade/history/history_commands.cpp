#include "history_commands.h"

#include "core/mac_fields.h"
#include "core/whole_file.h"
#include "history_output.h"

namespace ndx {
namespace {

// The database lookups read; null when none opens, said on `errors`.
std::unique_ptr<HistoryDatabase> openForLookup(HistoryStore& store, std::FILE* errors)
{
    std::string error;
    std::unique_ptr<HistoryDatabase> db = store.openForReading(error);
    if (!db) std::fprintf(errors, "%s%s\n", kHistoryNoticePrefix, error.c_str());
    return db;
}

// A lookup that failed on an open database: said on `errors`, exit status 1.
int cannotRead(const HistoryDatabase& db, const std::string& error, std::FILE* errors)
{
    std::fprintf(errors, "%scannot read %s: %s\n", kHistoryNoticePrefix, db.location().shown().c_str(),
                 error.c_str());
    return 1;
}

}  // namespace

bool writeBackupFiles(const std::string& path, const ParameterBackup& backup, std::string& error)
{
    return writeWholeFile(path, std::string(backup.bytes.begin(), backup.bytes.end()), error) &&
           writeWholeFile(path + ".hex", hexText(backup.bytes), error);
}

int printHistory(const CommandLine& c, HistoryStore& store, std::FILE* out, std::FILE* errors)
{
    std::unique_ptr<HistoryDatabase> db = openForLookup(store, errors);
    if (!db) return 1;
    HistoryFormat format = HistoryFormat::Table;
    parseHistoryFormat(c.historyFormat, format);
    HistoryFilter filter;
    filter.mac = c.mac;
    filter.since = c.since;
    // The table shows no log lines: they are left in the database.
    filter.withLog = format != HistoryFormat::Table;
    std::vector<OperationRecord> records;
    std::string error;
    if (!db->query(filter, records, error)) return cannotRead(*db, error, errors);
    const std::string text = formatHistory(records, format);
    std::fwrite(text.data(), 1, text.size(), out);
    return std::fflush(out) == 0 ? 0 : 1;
}

int exportBackup(const CommandLine& c, HistoryStore& store, std::FILE* out, std::FILE* errors)
{
    std::unique_ptr<HistoryDatabase> db = openForLookup(store, errors);
    if (!db) return 1;
    ParameterBackup backup;
    bool found = false;
    std::string error;
    if (!db->newestBackup(c.mac, c.at, backup, found, error)) return cannotRead(*db, error, errors);
    if (!found) {
        std::fprintf(errors, "ndxupgrade: no backup of %s%s in %s\n", c.mac.c_str(),
                     c.at.empty() ? "" : (" taken at or before " + c.at).c_str(), db->location().shown().c_str());
        return 1;
    }
    if (!writeBackupFiles(c.out, backup, error)) {
        std::fprintf(errors, "ndxupgrade: cannot write the backup %s\n", error.c_str());
        return 1;
    }
    std::fprintf(out, "Backup of %s taken %s (SHA-256 %s) written to %s and %s.hex\n", backup.mac.c_str(),
                 backup.takenAt.c_str(), backup.sha256.c_str(), c.out.c_str(), c.out.c_str());
    return 0;
}

}  // namespace ndx
