#pragma once
// One device operation as the history keeps it: an upgrade, a version query
// or a diagnosis, from the window, a headless run or a batch, written when
// it ends.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace ndx {

// The device's parameter image as read before an upgrade wrote anything.
struct ParameterBackup {
    std::string mac;      // "0A-3F-71-00-00-07"
    std::string takenAt;  // UTC, see core/utc_time.h
    std::string sha256;   // of the bytes, lower-case hex
    std::vector<std::uint8_t> bytes;
};

struct OperationRecord {
    std::string uid;  // unique over every station, so that a record sent twice is kept once
    std::string startedAt, endedAt;  // UTC
    std::string host, osUser, programVersion;
    std::string action;  // "upgrade", "version query", "diagnosis"
    std::string interface;
    std::string mac;        // the device; for a diagnosis the local one
    std::string remoteMac;  // a diagnosis's remote device
    std::string result;     // "ok", "failed", "stopped"
    std::string failedStep;  // the stage it failed or was stopped in
    std::string versionBefore, versionAfter;
    std::optional<double> snr, per;
    std::optional<int> pe;
    std::string parameterSha256;  // Tool/prm_NDX470.dat of an upgrade
    std::string imageSha256;      // Kernel/image.dat, when it went to the flash
    std::string kitDir, runFolder;
    // "stored", "failed", "skipped (--no-backup)"; "" when the operation
    // takes none or stopped before it.
    std::string backupStatus;
    std::string log;  // the last lines of the step logs
    std::optional<ParameterBackup> backup;
    bool unsent = false;  // kept on this PC for a shared database that could not take it
};

inline const char* const kActionUpgrade = "upgrade";
inline const char* const kActionVersionQuery = "version query";
inline const char* const kActionDiagnosis = "diagnosis";

// How a line about the history begins, wherever it is printed.
inline const char* const kHistoryNoticePrefix = "ndxupgrade: history: ";

// Where a finished operation's record goes.
class RecordSink {
public:
    virtual ~RecordSink() = default;
    // False when it could be kept nowhere (already said where the store
    // reports its problems).
    virtual bool write(const OperationRecord& record) = 0;
};

}  // namespace ndx
