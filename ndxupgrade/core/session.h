#pragma once
// What one operation of the front end works with: the installation tree, the
// interface chosen for it, and the seams to the outside world.

#include <string>

#include "seams.h"

namespace ndx {

struct Session {
    std::string base;         // the installation tree: the current directory at start-up
    std::string interfaceIp;  // set by the inputs check of the operation in progress
    std::string versionText;  // left by the last version query
    ProcessRunner& runner;
    MessageBoxes& boxes;
};

// Appends a line when a memo is given; some operations run without one.
inline void logLine(LogMemo* memo, const std::string& line)
{
    if (memo) memo->addLine(line);
}

}  // namespace ndx
