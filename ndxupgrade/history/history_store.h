#pragma once
// Where the records of this PC go. Without a shared database: the local
// SQLite file. With one (a PostgreSQL server for a factory line): there,
// and a record the server cannot take (down, network cut) is kept in the
// local file marked unsent and sent, in order, at the next start or before
// the next record that reaches the server. A record sent twice is kept
// once (its uid), and a sent record stays in the local file as a copy.
//
// A database that cannot be used never stops an operation: each problem is
// told once (`notice`), and the record goes where it can.

#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "database_location.h"
#include "history_database.h"
#include "operation_record.h"

namespace ndx {

class HistoryStore : public RecordSink {
public:
    using Notice = std::function<void(const std::string& line)>;
    // `local` empty: no local file is known (its reason in `localProblem`).
    HistoryStore(std::string local, std::optional<DatabaseLocation> shared, Notice notice,
                 std::string localProblem = {});

    // Opens what there is and sends what waits; an unreachable server is
    // told here, once.
    void start();
    bool write(const OperationRecord& record) override;

    // The database lookups read: the shared one, or the local file when
    // there is none or it cannot be reached (told once). Null with `error`
    // when neither opens.
    std::unique_ptr<HistoryDatabase> openForReading(std::string& error);

private:
    std::unique_ptr<HistoryDatabase> openLocal();
    std::unique_ptr<HistoryDatabase> openShared();
    // Sends the local file's unsent records; false when one could not go.
    bool sendUnsent(HistoryDatabase& local, HistoryDatabase& shared);
    void tell(const std::string& key, const std::string& line);
    void tellSharedWriteFailed(const std::string& error);
    // The record into the local file (`unsent`: marked to go to the shared
    // database later); false, with the record told lost, when it cannot.
    bool keepLocally(const OperationRecord& record, HistoryDatabase* local, bool unsent);

    std::string local_;
    std::optional<DatabaseLocation> shared_;
    Notice notice_;
    std::string localProblem_;
    std::set<std::string> told_;
};

// The store of this process: the local file from the environment, the
// shared database from the command line, else NDX_HISTORY_DB, else
// `setting` (the window's). False with `error` for a shared database that
// is not a database URL.
bool makeHistoryStore(const std::string& commandLine, const std::string& setting, HistoryStore::Notice notice,
                      std::unique_ptr<HistoryStore>& store, std::string& error);

}  // namespace ndx
