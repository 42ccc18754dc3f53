#pragma once
// The factory line's batch: the upgrade (or version query) of many devices
// on one interface, at most N at once, each in a private copy of the kit's
// writable files (run_folders.h), each run by a process of this program of
// its own (the one-device procedure, unchanged) whose output becomes the
// device's log.
//
// Standard output: one line per device as it ends, then the summary line.
// Standard error: the base directory, the interface, the run folder, what
// stops the batch. The run folder keeps each device's log and report.csv.

#include <string>

#include "command_line.h"
#include "core/seams.h"

namespace ndx {

struct BatchServices {
    InterfaceSource& interfaces;
    LogMemo& out;     // the device lines and the summary (standard output)
    LogMemo& errors;  // everything else (standard error)
    MessageBoxes& boxes;  // the parameter file's preparation (standard error)
    std::string program;  // this program, started once per device
};

// Returns the exit status: 0 when every device succeeded, 1 otherwise, 2 when
// the device list is wrong (nothing was started).
int runBatch(const CommandLine& command, const std::string& base, BatchServices services);

}  // namespace ndx
