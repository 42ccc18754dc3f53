#include "operation_trace.h"

#include <pwd.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QFile>
#include <QUuid>

#include <climits>
#include <filesystem>
#include <system_error>

#include "command_line.h"
#include "core/parameter_backup.h"
#include "core/upgrade.h"

namespace ndx {
namespace {

std::string hostName()
{
    char name[HOST_NAME_MAX + 1] = {};
    if (::gethostname(name, sizeof name - 1) != 0) return {};
    return name;
}

std::string userName()
{
    if (const struct passwd* pw = ::getpwuid(::geteuid())) return pw->pw_name;
    return std::to_string(::geteuid());
}

// The kit a base directory uses: the base itself, or for a batch's device
// folder (whose Tool/ holds links) the kit the links lead to.
std::string kitDirectoryOf(const std::string& base)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path connect = fs::path(base) / "Tool" / "connect.txt";
    if (fs::is_symlink(connect, ec)) {
        const fs::path target = fs::canonical(connect, ec);
        if (!ec) return target.parent_path().parent_path().string();
    }
    return base;
}

}  // namespace

std::string sha256Hex(const std::vector<std::uint8_t>& bytes)
{
    const QByteArray data(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
    return QCryptographicHash::hash(data, QCryptographicHash::Sha256).toHex().toStdString();
}

std::string fileSha256Hex(const std::string& path)
{
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly)) return {};
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!hash.addData(&file)) return {};
    return hash.result().toHex().toStdString();
}

OperationTrace::OperationTrace(OperationSubject subject) : subject_(std::move(subject)), started_(WallClock::now()) {}

OperationRecord OperationTrace::finish(const Session& session, bool ok, bool stopped) const
{
    const OperationFacts& facts = session.facts;
    OperationRecord r;
    r.uid = QUuid::createUuid().toString(QUuid::WithoutBraces).toStdString();
    r.startedAt = utcTimestamp(started_);
    r.endedAt = utcTimestamp(WallClock::now());
    r.host = hostName();
    r.osUser = userName();
    r.programVersion = programVersion();
    r.action = subject_.action;
    r.interface = subject_.interface;
    r.mac = subject_.mac;
    r.remoteMac = subject_.remoteMac;
    r.result = ok ? "ok" : stopped ? "stopped" : "failed";
    if (!ok) r.failedStep = session.stage;
    r.versionBefore = facts.versionBefore;
    r.versionAfter = facts.versionRead;
    if (facts.snr) r.snr = *facts.snr;
    if (facts.per) r.per = *facts.per;
    r.pe = facts.pe;
    r.kitDir = kitDirectoryOf(subject_.base);
    r.runFolder = subject_.runFolder;
    r.log = tail_.text();
    if (subject_.action == kActionUpgrade) {
        r.parameterSha256 = fileSha256Hex(r.kitDir + "/Tool/" + scrambledParameterFileName);
        if (facts.imageFlashed) r.imageSha256 = fileSha256Hex(kernelDir(session) + "/image.dat");
        if (!session.backupFirst) {
            r.backupStatus = "skipped (--no-backup)";
        } else if (facts.backupFailed) {
            r.backupStatus = "failed";
        } else if (!facts.backup.empty()) {
            r.backupStatus = "stored";
            r.backup = ParameterBackup{subject_.mac, utcTimestamp(facts.backupTakenAt), sha256Hex(facts.backup),
                                       facts.backup};
        }
    }
    return r;
}

}  // namespace ndx
