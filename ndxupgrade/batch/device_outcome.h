#pragma once
// What became of each device of a batch, and how the batch tells it: one
// line per device, the summary line and the CSV report.

#include <string>
#include <vector>

namespace ndx {

enum class DeviceResult { Ok, Failed, Stopped, NotStarted };

struct DeviceOutcome {
    std::string mac;
    DeviceResult result = DeviceResult::NotStarted;
    std::string stage;    // Failed, Stopped: the stage it failed or was stopped in
    std::string version;  // Ok: the version read from the device
    double seconds = 0;   // from its start to its end; none when not started
    std::string log;      // its log; "" when not started
};

// How the device's run ended, as the batch saw it.
struct DeviceEnd {
    bool exitedZero = false;     // the run ended by itself with status 0
    bool stopRequested = false;  // the batch was stopped while it ran
    bool resultSeen = false;     // it reported a result
    bool resultOk = false;
    std::string resultValue;     // the version, or the failed stage
    std::string lastStage;       // the last stage it reported entering
};

// Ok only with an ok result and status 0; a device stopped before it ended
// with a result counts as stopped in the stage it was in.
void judgeDevice(const DeviceEnd& end, DeviceOutcome& outcome);

// "0A-3F-71-00-00-07  ok  1.3.2  3.1 s", "…  FAIL  flash programming  2.4 s",
// "…  STOPPED  reset  1.2 s", "…  NOT STARTED".
std::string deviceLine(const DeviceOutcome& outcome);

// "8 devices: 7 ok, 1 failed", with ", N stopped" and ", N not started"
// after a stop.
std::string summaryLine(const std::vector<DeviceOutcome>& outcomes);

// "ok", "failed", "stopped", "not started": the report's result field.
const char* resultName(DeviceResult result);

// The report: a header line "mac,result,stage,version,seconds,log", then one
// line per device; a field holding a comma, a quote or a line break is
// quoted, its quotes doubled.
std::string reportCsv(const std::vector<DeviceOutcome>& outcomes);

}  // namespace ndx
