#pragma once
// What one device of a batch tells the batch besides its log: the stage it
// enters and its result, as lines of their own on standard error. The batch
// reads them from the device's output; they stay in the device's log.

#include <string>

namespace ndx {

std::string workerStageLine(const std::string& stage);
// ok: the version read; failed: the stage that failed.
std::string workerResultLine(bool ok, const std::string& versionOrStage);

struct WorkerLine {
    enum class Kind { Other, Stage, Result } kind = Kind::Other;
    bool ok = false;    // Result
    std::string value;  // the stage, or the result's version or stage
};
WorkerLine readWorkerLine(const std::string& line);

}  // namespace ndx
