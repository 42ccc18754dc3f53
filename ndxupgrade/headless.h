#pragma once
// Runs one procedure of the window from the command line, for factory lines
// and scripted checks: log lines and the final box text go to standard output.

#include <functional>
#include <string>

#include "command_line.h"
#include "core/seams.h"
#include "history/operation_record.h"

namespace ndx {

struct HeadlessServices {
    InterfaceSource& interfaces;
    ProcessRunner& runner;
    MessageBoxes& boxes;
    LogMemo& log;
    ChildOutput* childOutput = nullptr;  // the children's lines (standard error)
    LogMemo* failureHints = nullptr;     // a child's reason for a failed step (standard error)
    // For one device of a batch: where its stages and its result are told
    // (standard error; see batch/worker_protocol.h).
    LogMemo* workerReport = nullptr;
    // What refuses the run before its procedure starts: a MAC address that is
    // not one, a kit that another run is using (standard error; none: `log`).
    LogMemo* errors = nullptr;
    // The stop signal caught, 0 while none was (platform/stop_signals.h);
    // none: the run is never stopped.
    std::function<int()> stopSignal = {};
    // --find: one MAC a line, nothing else (standard output; `log` then goes
    // to standard error).
    LogMemo* results = nullptr;
    // Where the operation's record goes when it ends; none: nowhere.
    RecordSink* history = nullptr;
};

// Runs the mode of an already parsed command line for one device (a batch:
// batch.h). Returns the process exit code: 0 success, 1 failure, 2 a MAC
// address that is not one, 128 + the signal when a stop signal ended it.
int runHeadless(const CommandLine& command, const std::string& base, HeadlessServices services);

}  // namespace ndx
