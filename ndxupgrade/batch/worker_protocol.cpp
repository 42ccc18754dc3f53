#include "worker_protocol.h"

namespace ndx {
namespace {

const std::string stagePrefix = "ndxupgrade: stage ";
const std::string okPrefix = "ndxupgrade: result ok ";
const std::string failedPrefix = "ndxupgrade: result failed ";

bool startsWith(const std::string& text, const std::string& head)
{
    return text.compare(0, head.size(), head) == 0;
}

}  // namespace

std::string workerStageLine(const std::string& stage)
{
    return stagePrefix + stage;
}

std::string workerResultLine(bool ok, const std::string& versionOrStage)
{
    return (ok ? okPrefix : failedPrefix) + versionOrStage;
}

WorkerLine readWorkerLine(const std::string& line)
{
    WorkerLine w;
    if (startsWith(line, stagePrefix)) {
        w.kind = WorkerLine::Kind::Stage;
        w.value = line.substr(stagePrefix.size());
    } else if (startsWith(line, okPrefix) || startsWith(line, failedPrefix)) {
        w.kind = WorkerLine::Kind::Result;
        w.ok = startsWith(line, okPrefix);
        w.value = line.substr((w.ok ? okPrefix : failedPrefix).size());
    }
    return w;
}

}  // namespace ndx
