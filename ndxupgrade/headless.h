#pragma once
// Runs one procedure of the window from the command line, for factory lines
// and scripted checks: log lines and the final box text go to standard output.

#include <string>
#include <vector>

#include "core/seams.h"

namespace ndx {

// True when the arguments ask for a headless run (the window is not opened).
bool wantsHeadless(const std::vector<std::string>& args);

// Returns the process exit code: 0 success, 1 failure.
int runHeadless(const std::vector<std::string>& args, const std::string& base, InterfaceSource& interfaces,
                ProcessRunner& runner, MessageBoxes& boxes, LogMemo& log);

}  // namespace ndx
