#include "history_store.h"

#include <cstdlib>

namespace ndx {

namespace {

// Where records wait for the server, as the notices name it.
std::string localShown(const std::string& local) { return local.empty() ? "no local file" : local; }

}  // namespace

HistoryStore::HistoryStore(std::string local, std::optional<DatabaseLocation> shared, Notice notice,
                           std::string localProblem)
    : local_(std::move(local)), shared_(std::move(shared)), notice_(std::move(notice)),
      localProblem_(std::move(localProblem))
{
}

void HistoryStore::tell(const std::string& key, const std::string& line)
{
    if (!told_.insert(key).second) return;
    if (notice_) notice_(kHistoryNoticePrefix + line);
}

std::unique_ptr<HistoryDatabase> HistoryStore::openLocal()
{
    if (local_.empty()) {
        tell("local", "no place for the local database: " + localProblem_ + "; records are not kept");
        return nullptr;
    }
    DatabaseLocation where;
    where.path = local_;
    auto db = std::make_unique<HistoryDatabase>(where);
    std::string error;
    if (db->open(error)) return db;
    tell("local", "cannot use " + local_ + ": " + error);
    return nullptr;
}

std::unique_ptr<HistoryDatabase> HistoryStore::openShared()
{
    auto db = std::make_unique<HistoryDatabase>(*shared_);
    std::string error;
    if (db->open(error)) {
        // A later outage is worth telling again.
        told_.erase("shared");
        return db;
    }
    tell("shared", "cannot reach " + shared_->shown() + ": " + error + "; records are kept in " +
                       localShown(local_) + " and sent later");
    return nullptr;
}

bool HistoryStore::sendUnsent(HistoryDatabase& local, HistoryDatabase& shared)
{
    std::vector<OperationRecord> waiting;
    std::string error;
    if (!local.unsent(waiting, error)) {
        tell("local", "cannot read " + local_ + ": " + error);
        return false;
    }
    for (const OperationRecord& r : waiting) {
        if (!shared.insert(r, false, error)) {
            tellSharedWriteFailed(error);
            return false;
        }
        if (!local.markSent(r.uid, error)) {
            tell("local", "cannot write " + local_ + ": " + error);
            return false;
        }
    }
    if (!waiting.empty() && notice_)
        notice_(kHistoryNoticePrefix + std::to_string(waiting.size()) + " kept record(s) sent to " + shared_->shown());
    return true;
}

void HistoryStore::start()
{
    if (!shared_) {
        openLocal();
        return;
    }
    std::unique_ptr<HistoryDatabase> shared = openShared();
    std::unique_ptr<HistoryDatabase> local = openLocal();
    if (shared && local) sendUnsent(*local, *shared);
}

void HistoryStore::tellSharedWriteFailed(const std::string& error)
{
    tell("shared", "cannot write to " + shared_->shown() + ": " + error + "; records are kept in " +
                       localShown(local_) + " and sent later");
}

bool HistoryStore::keepLocally(const OperationRecord& record, HistoryDatabase* local, bool unsent)
{
    std::string error;
    if (local && local->insert(record, unsent, error)) return true;
    if (local) tell("local", "cannot write " + local_ + ": " + error);
    if (notice_)
        notice_(std::string(kHistoryNoticePrefix) + "the record of this " + record.action + " of " + record.mac +
                " is lost");
    return false;
}

bool HistoryStore::write(const OperationRecord& record)
{
    std::unique_ptr<HistoryDatabase> local = openLocal();
    if (!shared_) return keepLocally(record, local.get(), false);
    std::unique_ptr<HistoryDatabase> shared = openShared();
    // What waits goes first, so that the server gets the records in order.
    if (!shared || (local && !sendUnsent(*local, *shared))) return keepLocally(record, local.get(), true);
    std::string error;
    if (!shared->insert(record, false, error)) {
        tellSharedWriteFailed(error);
        return keepLocally(record, local.get(), true);
    }
    if (local && !local->insert(record, false, error)) tell("local", "cannot write " + local_ + ": " + error);
    return true;
}

std::unique_ptr<HistoryDatabase> HistoryStore::openForReading(std::string& error)
{
    if (shared_) {
        auto db = std::make_unique<HistoryDatabase>(*shared_);
        if (db->open(error)) return db;
        tell("shared", "cannot reach " + shared_->shown() + ": " + error + "; showing this PC's records (" + local_ +
                           ")");
    }
    if (local_.empty()) {
        error = "no place for the local database: " + localProblem_;
        return nullptr;
    }
    DatabaseLocation where;
    where.path = local_;
    auto db = std::make_unique<HistoryDatabase>(where);
    if (db->open(error)) return db;
    error = "cannot use " + local_ + ": " + error;
    return nullptr;
}

bool makeHistoryStore(const std::string& commandLine, const std::string& setting, HistoryStore::Notice notice,
                      std::unique_ptr<HistoryStore>& store, std::string& error)
{
    std::string localProblem;
    std::string local = defaultHistoryPath(localProblem);
    const char* environment = std::getenv("NDX_HISTORY_DB");
    const std::string chosen = !commandLine.empty()                   ? commandLine
                               : environment && environment[0] != 0 ? std::string(environment)
                                                                      : setting;
    std::optional<DatabaseLocation> shared;
    if (!chosen.empty()) {
        DatabaseLocation where;
        if (!parseDatabaseLocation(chosen, where, error)) return false;
        // An SQLite file named here takes the local file's place.
        if (where.kind == DatabaseLocation::Kind::SQLite) {
            local = where.path;
        } else {
            shared = where;
        }
    }
    store = std::make_unique<HistoryStore>(local, shared, std::move(notice), localProblem);
    return true;
}

}  // namespace ndx
