#pragma once
// Follows one operation from its start to its record: what it is, on which
// device, and the last lines of its logs. The window, a headless run and a
// batch's device each keep one per operation.

#include <string>

#include "core/log_tail.h"
#include "core/session.h"
#include "core/utc_time.h"
#include "operation_record.h"

namespace ndx {

struct OperationSubject {
    std::string action;  // kActionUpgrade …
    std::string interface;
    std::string mac, remoteMac = {};
    std::string base = {};       // the base directory the procedure works in
    std::string runFolder = {};  // a batch's run folder; "" otherwise
};

class OperationTrace {
public:
    explicit OperationTrace(OperationSubject subject);
    LogTail& tail() { return tail_; }
    // The record of the operation that has just ended. `stopped`: a stop
    // signal or the user ended it.
    OperationRecord finish(const Session& session, bool ok, bool stopped) const;

private:
    OperationSubject subject_;
    WallClock::time_point started_;
    LogTail tail_;
};

// Lower-case hex SHA-256 of the bytes, or of a file's content ("" when the
// file cannot be read).
std::string sha256Hex(const std::vector<std::uint8_t>& bytes);
std::string fileSha256Hex(const std::string& path);

}  // namespace ndx
