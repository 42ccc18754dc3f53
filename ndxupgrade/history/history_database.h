#pragma once
// One history database, SQLite or PostgreSQL, through Qt SQL: the same
// schema, the same statements, with the few words the two spell differently
// kept in one place. Opening brings an older schema up to date; a newer one
// is refused and nothing is written. Each object holds its own connection
// and belongs to the thread that made it.

#include <QString>

#include <string>
#include <vector>

#include "database_location.h"
#include "operation_record.h"

namespace ndx {

// The schema this program writes. Version 1 had no backups and no unsent
// marks.
constexpr int kHistorySchemaVersion = 2;

struct HistoryFilter {
    std::string mac;    // "" for every device
    std::string since;  // "" or a time from parseUtcDate: records started then or later
    // False: only what a table of the records shows (when, what, which
    // device, the result, the versions, the host, the backup), no log.
    bool withLog = true;
    int limit = 0;      // 0: no limit
};

class HistoryDatabase {
public:
    explicit HistoryDatabase(DatabaseLocation location);
    ~HistoryDatabase();
    HistoryDatabase(const HistoryDatabase&) = delete;
    HistoryDatabase& operator=(const HistoryDatabase&) = delete;

    // Connects and brings the schema up to date; false with `error`.
    bool open(std::string& error);
    const DatabaseLocation& location() const { return location_; }

    // The record and its backup, in one transaction. A record whose uid is
    // there already is left as it is.
    bool insert(const OperationRecord& record, bool unsent, std::string& error);
    // Newest first.
    bool query(const HistoryFilter& filter, std::vector<OperationRecord>& records, std::string& error);
    // The records marked unsent, oldest first, with their backups.
    bool unsent(std::vector<OperationRecord>& records, std::string& error);
    bool markSent(const std::string& uid, std::string& error);
    // The newest backup of the device, or the newest taken at or before
    // `atOrBefore` (a parseUtcDate time); found false when there is none.
    bool newestBackup(const std::string& mac, const std::string& atOrBefore, ParameterBackup& backup, bool& found,
                      std::string& error);
    bool backupOf(const std::string& uid, ParameterBackup& backup, bool& found, std::string& error);

private:
    bool exec(const QString& statement, std::string& error);
    bool beginWrite(std::string& error);
    void rollback();
    bool migrate(std::string& error);
    bool migrateOnce(std::string& error, bool& retry);
    QString dialect(QString statement) const;

    DatabaseLocation location_;
    QString connection_;
    bool sqlite_;
};

}  // namespace ndx
