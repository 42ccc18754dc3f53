#include "device_outcome.h"

#include <cstdio>

#include "core/text_escaping.h"

namespace ndx {
namespace {

std::string secondsText(double seconds, int decimals)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", decimals, seconds);
    return text;
}

}  // namespace

void judgeDevice(const DeviceEnd& end, DeviceOutcome& outcome)
{
    outcome.version.clear();
    outcome.stage.clear();
    if (end.resultSeen && end.resultOk && end.exitedZero) {
        outcome.result = DeviceResult::Ok;
        outcome.version = end.resultValue;
        return;
    }
    if (end.stopRequested) {
        outcome.result = DeviceResult::Stopped;
        outcome.stage = end.resultSeen && !end.resultOk ? end.resultValue : end.lastStage;
    } else {
        outcome.result = DeviceResult::Failed;
        // Without a result of its own the run broke off (it could not be
        // started, or it crashed): its log tells why.
        outcome.stage = end.resultSeen && !end.resultOk ? end.resultValue
                        : end.lastStage.empty()         ? "start"
                                                        : end.lastStage;
    }
    if (outcome.stage.empty()) outcome.stage = "start";
}

const char* resultName(DeviceResult result)
{
    switch (result) {
    case DeviceResult::Ok: return "ok";
    case DeviceResult::Failed: return "failed";
    case DeviceResult::Stopped: return "stopped";
    case DeviceResult::NotStarted: break;
    }
    return "not started";
}

std::string deviceLine(const DeviceOutcome& o)
{
    const std::string time = "  " + secondsText(o.seconds, 1) + " s";
    switch (o.result) {
    case DeviceResult::Ok: return o.mac + "  ok  " + o.version + time;
    case DeviceResult::Failed: return o.mac + "  FAIL  " + o.stage + time;
    case DeviceResult::Stopped: return o.mac + "  STOPPED  " + o.stage + time;
    case DeviceResult::NotStarted: break;
    }
    return o.mac + "  NOT STARTED";
}

std::string summaryLine(const std::vector<DeviceOutcome>& outcomes)
{
    int count[4] = {};
    for (const DeviceOutcome& o : outcomes) ++count[static_cast<int>(o.result)];
    std::string line = std::to_string(outcomes.size()) + (outcomes.size() == 1 ? " device: " : " devices: ") +
                       std::to_string(count[static_cast<int>(DeviceResult::Ok)]) + " ok, " +
                       std::to_string(count[static_cast<int>(DeviceResult::Failed)]) + " failed";
    if (const int stopped = count[static_cast<int>(DeviceResult::Stopped)]) line += ", " + std::to_string(stopped) + " stopped";
    if (const int idle = count[static_cast<int>(DeviceResult::NotStarted)]) line += ", " + std::to_string(idle) + " not started";
    return line;
}

std::string reportCsv(const std::vector<DeviceOutcome>& outcomes)
{
    std::string csv = "mac,result,stage,version,seconds,log\n";
    for (const DeviceOutcome& o : outcomes) {
        const bool ran = o.result != DeviceResult::NotStarted;
        csv += csvField(o.mac) + "," + resultName(o.result) + "," + csvField(o.stage) + "," + csvField(o.version) +
               "," + (ran ? secondsText(o.seconds, 2) : std::string()) + "," + csvField(o.log) + "\n";
    }
    return csv;
}

}  // namespace ndx
