#pragma once
// Runs one procedure of the window from the command line, for factory lines
// and scripted checks: log lines and the final box text go to standard output.

#include <string>

#include "command_line.h"
#include "core/seams.h"

namespace ndx {

struct HeadlessServices {
    InterfaceSource& interfaces;
    ProcessRunner& runner;
    MessageBoxes& boxes;
    LogMemo& log;
    ChildOutput* childOutput = nullptr;  // the children's lines (standard error)
    LogMemo* failureHints = nullptr;     // a child's reason for a failed step (standard error)
};

// Runs the mode of an already parsed command line. Returns the process exit
// code: 0 success, 1 failure.
int runHeadless(const CommandLine& command, const std::string& base, HeadlessServices services);

}  // namespace ndx
