#include "history_database.h"

#include <QByteArray>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <system_error>
#include <thread>

namespace ndx {
namespace {

// Each schema version's statements. {ID} and {BLOB} are the words the two
// databases spell differently.
const std::vector<std::vector<const char*>>& migrations()
{
    static const std::vector<std::vector<const char*>> steps = {
        // 1: the operations.
        {"CREATE TABLE operations (id {ID}, record_uid TEXT NOT NULL UNIQUE, started_at TEXT NOT NULL, "
         "ended_at TEXT NOT NULL, host TEXT, os_user TEXT, program_version TEXT, action TEXT NOT NULL, "
         "interface TEXT, mac TEXT, remote_mac TEXT, result TEXT NOT NULL, failed_step TEXT, version_before TEXT, "
         "version_after TEXT, snr DOUBLE PRECISION, per DOUBLE PRECISION, pe INTEGER, parameter_sha256 TEXT, "
         "image_sha256 TEXT, kit_dir TEXT, run_folder TEXT, log_tail TEXT)"},
        // 2: parameter backups, records kept for a shared database that
        // could not take them, and the indexes that lookups by device and
        // time use.
        {"ALTER TABLE operations ADD COLUMN backup_status TEXT",
         "ALTER TABLE operations ADD COLUMN unsent INTEGER NOT NULL DEFAULT 0",
         "CREATE TABLE backups (id {ID}, record_uid TEXT NOT NULL UNIQUE, mac TEXT NOT NULL, taken_at TEXT NOT NULL, "
         "sha256 TEXT NOT NULL, bytes {BLOB} NOT NULL)",
         "CREATE INDEX operations_mac_time ON operations (mac, started_at)",
         "CREATE INDEX operations_time ON operations (started_at)",
         "CREATE INDEX operations_unsent ON operations (unsent)",
         "CREATE INDEX backups_mac_time ON backups (mac, taken_at)"},
    };
    return steps;
}

const char* const kColumns =
    "record_uid, started_at, ended_at, host, os_user, program_version, action, interface, mac, remote_mac, result, "
    "failed_step, version_before, version_after, snr, per, pe, parameter_sha256, image_sha256, kit_dir, run_folder, "
    "backup_status, log_tail, unsent";
const int kColumnCount = 24;

QString connectionName()
{
    static std::atomic<int> count{0};
    return QString("ndx-history-%1").arg(++count);
}

QString text(const std::string& value)
{
    return QString::fromStdString(value);
}

std::string str(const QSqlQuery& q, int column)
{
    return q.value(column).toString().toStdString();
}

template <typename T>
QVariant optional(const std::optional<T>& value)
{
    return value ? QVariant(*value) : QVariant(QMetaType::fromType<T>());
}

// One line: the server's messages come with line breaks and tabs.
std::string failure(const QSqlError& e)
{
    std::string message = e.text().simplified().toStdString();
    return message.empty() ? "unknown database error" : message;
}

OperationRecord readRecord(const QSqlQuery& q)
{
    OperationRecord r;
    int i = 0;
    for (std::string* field : {&r.uid, &r.startedAt, &r.endedAt, &r.host, &r.osUser, &r.programVersion, &r.action,
                               &r.interface, &r.mac, &r.remoteMac, &r.result, &r.failedStep, &r.versionBefore,
                               &r.versionAfter})
        *field = str(q, i++);
    if (!q.isNull(i)) r.snr = q.value(i).toDouble();
    if (!q.isNull(++i)) r.per = q.value(i).toDouble();
    if (!q.isNull(++i)) r.pe = q.value(i).toInt();
    ++i;
    for (std::string* field : {&r.parameterSha256, &r.imageSha256, &r.kitDir, &r.runFolder, &r.backupStatus, &r.log})
        *field = str(q, i++);
    r.unsent = q.value(i).toInt() != 0;
    return r;
}

// What the table of --history shows: a query over a hundred thousand
// records spends its time converting columns.
// The brief columns come joined into one text per record, cut by a unit
// separator, which no field holds: one value to convert instead of twelve.
const char* const kBriefColumns =
    "COALESCE(record_uid, '') || ? || COALESCE(started_at, '') || ? || COALESCE(action, '') || ? || "
    "COALESCE(mac, '') || ? || COALESCE(remote_mac, '') || ? || COALESCE(result, '') || ? || "
    "COALESCE(failed_step, '') || ? || COALESCE(version_before, '') || ? || COALESCE(version_after, '') || ? || "
    "COALESCE(host, '') || ? || COALESCE(backup_status, '') || ? || CASE WHEN unsent = 1 THEN 'yes' ELSE '' END";
const int kBriefSeparators = 11;
const char kUnitSeparator = '\x1f';

OperationRecord readBrief(const QSqlQuery& q)
{
    OperationRecord r;
    const std::string joined = q.value(0).toString().toStdString();
    std::size_t at = 0;
    for (std::string* field : {&r.uid, &r.startedAt, &r.action, &r.mac, &r.remoteMac, &r.result, &r.failedStep,
                               &r.versionBefore, &r.versionAfter, &r.host, &r.backupStatus}) {
        const std::size_t end = joined.find(kUnitSeparator, at);
        if (end == std::string::npos) break;
        field->assign(joined, at, end - at);
        at = end + 1;
    }
    r.unsent = joined.compare(at, std::string::npos, "yes") == 0;
    return r;
}

ParameterBackup readBackup(const QSqlQuery& q)
{
    ParameterBackup b;
    b.mac = str(q, 0);
    b.takenAt = str(q, 1);
    b.sha256 = str(q, 2);
    const QByteArray bytes = q.value(3).toByteArray();
    b.bytes.assign(bytes.begin(), bytes.end());
    return b;
}

// Runs a prepared query over the backups and takes its first row, if any.
bool firstBackup(QSqlQuery& q, ParameterBackup& backup, bool& found, std::string& error)
{
    if (!q.exec()) {
        error = failure(q.lastError());
        return false;
    }
    if (q.next()) {
        backup = readBackup(q);
        found = true;
    }
    return true;
}

}  // namespace

HistoryDatabase::HistoryDatabase(DatabaseLocation location)
    : location_(std::move(location)), connection_(connectionName()),
      sqlite_(location_.kind == DatabaseLocation::Kind::SQLite)
{
}

HistoryDatabase::~HistoryDatabase()
{
    {
        QSqlDatabase db = QSqlDatabase::database(connection_, false);
        if (db.isValid()) db.close();
    }
    QSqlDatabase::removeDatabase(connection_);
}

QString HistoryDatabase::dialect(QString statement) const
{
    statement.replace("{ID}", sqlite_ ? "INTEGER PRIMARY KEY AUTOINCREMENT" : "BIGSERIAL PRIMARY KEY");
    statement.replace("{BLOB}", sqlite_ ? "BLOB" : "BYTEA");
    return statement;
}

bool HistoryDatabase::exec(const QString& statement, std::string& error)
{
    QSqlQuery q(QSqlDatabase::database(connection_, false));
    if (q.exec(statement)) return true;
    error = failure(q.lastError());
    return false;
}

// SQLite takes the write lock at once, so that a writer that waits for
// another does so in the busy handler instead of failing half-way.
bool HistoryDatabase::beginWrite(std::string& error)
{
    return exec(sqlite_ ? "BEGIN IMMEDIATE" : "BEGIN", error);
}

void HistoryDatabase::rollback()
{
    std::string ignored;
    exec("ROLLBACK", ignored);
}

bool HistoryDatabase::open(std::string& error)
{
    const char* driver = sqlite_ ? "QSQLITE" : "QPSQL";
    if (!QSqlDatabase::isDriverAvailable(driver)) {
        error = std::string("the Qt SQL driver ") + driver + " is not installed (Debian package " +
                (sqlite_ ? "libqt6sql6-sqlite" : "libqt6sql6-psql") + ")";
        return false;
    }
    QSqlDatabase db = QSqlDatabase::addDatabase(driver, connection_);
    if (sqlite_) {
        std::error_code ec;
        const std::filesystem::path folder = std::filesystem::path(location_.path).parent_path();
        if (!folder.empty()) std::filesystem::create_directories(folder, ec);
        db.setDatabaseName(text(location_.path));
        // Writers of the window, a headless run and a batch wait for each
        // other rather than fail.
        db.setConnectOptions("QSQLITE_BUSY_TIMEOUT=10000");
    } else {
        db.setHostName(text(location_.host));
        db.setPort(location_.port);
        db.setUserName(text(location_.user));
        db.setPassword(text(location_.password));
        db.setDatabaseName(text(location_.database));
        // A server behind a cut cable must not hold the operation up.
        db.setConnectOptions("connect_timeout=3");
    }
    if (!db.open()) {
        error = failure(db.lastError());
        return false;
    }
    // WAL lets readers and one writer work at once; NORMAL syncs at each
    // checkpoint, which keeps a record's write short. Switching a new file
    // to WAL needs it to itself for a moment and does not wait in the busy
    // handler: writers that open it together take turns here.
    if (sqlite_) {
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!exec("PRAGMA journal_mode=WAL", error)) {
            if (std::chrono::steady_clock::now() >= giveUp) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        if (!exec("PRAGMA synchronous=NORMAL", error)) return false;
    }
    return migrate(error);
}

// Two stations that open a fresh shared database at once both try to make
// its tables; the one that loses finds them made when it tries again.
bool HistoryDatabase::migrate(std::string& error)
{
    for (int attempt = 0; attempt < 5; ++attempt) {
        bool retry = false;
        if (migrateOnce(error, retry)) return true;
        if (!retry) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50 * (attempt + 1)));
    }
    return false;
}

bool HistoryDatabase::migrateOnce(std::string& error, bool& retry)
{
    retry = false;
    if (!beginWrite(error)) {
        retry = true;
        return false;
    }
    QSqlQuery q(QSqlDatabase::database(connection_, false));
    if (!q.exec("CREATE TABLE IF NOT EXISTS schema_version (version INTEGER NOT NULL)") ||
        !q.exec("SELECT version FROM schema_version")) {
        error = failure(q.lastError());
        rollback();
        retry = true;
        return false;
    }
    const bool hasRow = q.next();
    const int version = hasRow ? q.value(0).toInt() : 0;
    q.finish();
    if (version > kHistorySchemaVersion) {
        rollback();
        error = "its schema version " + std::to_string(version) + " is newer than this program's (" +
                std::to_string(kHistorySchemaVersion) + "); use a newer ndxupgrade with it. Nothing was written";
        return false;
    }
    if (version == kHistorySchemaVersion) return exec("COMMIT", error);
    for (int step = version; step < kHistorySchemaVersion; ++step)
        for (const char* statement : migrations()[static_cast<std::size_t>(step)])
            if (!q.exec(dialect(statement))) {
                error = "cannot bring the schema to version " + std::to_string(step + 1) + ": " +
                        failure(q.lastError());
                rollback();
                retry = true;
                return false;
            }
    q.prepare(hasRow ? "UPDATE schema_version SET version = ?" : "INSERT INTO schema_version (version) VALUES (?)");
    q.addBindValue(kHistorySchemaVersion);
    if (!q.exec()) {
        error = failure(q.lastError());
        rollback();
        retry = true;
        return false;
    }
    q.finish();
    if (exec("COMMIT", error)) return true;
    rollback();
    retry = true;
    return false;
}

bool HistoryDatabase::insert(const OperationRecord& r, bool unsent, std::string& error)
{
    if (!beginWrite(error)) return false;
    {
        QSqlQuery q(QSqlDatabase::database(connection_, false));
        QString placeholders = "?";
        for (int i = 1; i < kColumnCount; ++i) placeholders += ", ?";
        q.prepare(QString("INSERT INTO operations (%1) VALUES (%2) ON CONFLICT (record_uid) DO NOTHING")
                      .arg(kColumns, placeholders));
        for (const std::string* field : {&r.uid, &r.startedAt, &r.endedAt, &r.host, &r.osUser, &r.programVersion,
                                         &r.action, &r.interface, &r.mac, &r.remoteMac, &r.result, &r.failedStep,
                                         &r.versionBefore, &r.versionAfter})
            q.addBindValue(text(*field));
        q.addBindValue(optional(r.snr));
        q.addBindValue(optional(r.per));
        q.addBindValue(optional(r.pe));
        for (const std::string* field : {&r.parameterSha256, &r.imageSha256, &r.kitDir, &r.runFolder,
                                         &r.backupStatus, &r.log})
            q.addBindValue(text(*field));
        q.addBindValue(unsent ? 1 : 0);
        bool ok = q.exec();
        if (ok && r.backup) {
            const ParameterBackup& b = *r.backup;
            q.prepare("INSERT INTO backups (record_uid, mac, taken_at, sha256, bytes) VALUES (?, ?, ?, ?, ?) "
                      "ON CONFLICT (record_uid) DO NOTHING");
            q.addBindValue(text(r.uid));
            q.addBindValue(text(b.mac));
            q.addBindValue(text(b.takenAt));
            q.addBindValue(text(b.sha256));
            q.addBindValue(QByteArray(reinterpret_cast<const char*>(b.bytes.data()),
                                      static_cast<qsizetype>(b.bytes.size())));
            ok = q.exec();
        }
        if (!ok) {
            error = failure(q.lastError());
            q.finish();
            rollback();
            return false;
        }
    }
    if (exec("COMMIT", error)) return true;
    rollback();
    return false;
}

bool HistoryDatabase::query(const HistoryFilter& filter, std::vector<OperationRecord>& records, std::string& error)
{
    records.clear();
    QString statement = QString("SELECT %1 FROM operations").arg(filter.withLog ? kColumns : kBriefColumns);
    QStringList conditions;
    if (!filter.mac.empty()) conditions << "mac = ?";
    if (!filter.since.empty()) conditions << "started_at >= ?";
    if (!conditions.isEmpty()) statement += " WHERE " + conditions.join(" AND ");
    statement += " ORDER BY started_at DESC, id DESC";
    if (filter.limit > 0) statement += QString(" LIMIT %1").arg(filter.limit);
    QSqlQuery q(QSqlDatabase::database(connection_, false));
    q.setForwardOnly(true);
    q.prepare(statement);
    if (!filter.withLog)
        for (int i = 0; i < kBriefSeparators; ++i) q.addBindValue(QString(QChar(kUnitSeparator)));
    if (!filter.mac.empty()) q.addBindValue(text(filter.mac));
    if (!filter.since.empty()) q.addBindValue(text(filter.since));
    if (!q.exec()) {
        error = failure(q.lastError());
        return false;
    }
    while (q.next()) records.push_back(filter.withLog ? readRecord(q) : readBrief(q));
    return true;
}

bool HistoryDatabase::unsent(std::vector<OperationRecord>& records, std::string& error)
{
    records.clear();
    QSqlQuery q(QSqlDatabase::database(connection_, false));
    q.setForwardOnly(true);
    if (!q.exec(QString("SELECT %1 FROM operations WHERE unsent = 1 ORDER BY id").arg(kColumns))) {
        error = failure(q.lastError());
        return false;
    }
    while (q.next()) records.push_back(readRecord(q));
    q.finish();
    for (OperationRecord& r : records) {
        ParameterBackup b;
        bool found = false;
        if (!backupOf(r.uid, b, found, error)) return false;
        if (found) r.backup = b;
    }
    return true;
}

bool HistoryDatabase::markSent(const std::string& uid, std::string& error)
{
    QSqlQuery q(QSqlDatabase::database(connection_, false));
    q.prepare("UPDATE operations SET unsent = 0 WHERE record_uid = ?");
    q.addBindValue(text(uid));
    if (q.exec()) return true;
    error = failure(q.lastError());
    return false;
}

bool HistoryDatabase::newestBackup(const std::string& mac, const std::string& atOrBefore, ParameterBackup& backup,
                                   bool& found, std::string& error)
{
    found = false;
    QSqlQuery q(QSqlDatabase::database(connection_, false));
    q.setForwardOnly(true);
    // A backup taken within the second named counts as taken at it.
    q.prepare(QString("SELECT mac, taken_at, sha256, bytes FROM backups WHERE mac = ?%1 "
                      "ORDER BY taken_at DESC, id DESC LIMIT 1")
                  .arg(atOrBefore.empty() ? "" : " AND taken_at <= ?"));
    q.addBindValue(text(mac));
    if (!atOrBefore.empty()) q.addBindValue(text(atOrBefore + ".999Z"));
    return firstBackup(q, backup, found, error);
}

bool HistoryDatabase::backupOf(const std::string& uid, ParameterBackup& backup, bool& found, std::string& error)
{
    found = false;
    QSqlQuery q(QSqlDatabase::database(connection_, false));
    q.setForwardOnly(true);
    q.prepare("SELECT mac, taken_at, sha256, bytes FROM backups WHERE record_uid = ?");
    q.addBindValue(text(uid));
    return firstBackup(q, backup, found, error);
}

}  // namespace ndx
