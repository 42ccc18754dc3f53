#pragma once

#include <string>
#include <vector>

#include "session.h"

namespace ndx {

// The argument text cut at blanks; runs of blanks give no empty words.
std::vector<std::string> splitArgumentText(const std::string& text);

// Runs a program (or, for a ".sh" path, /bin/sh with the script) with the
// argument text in workDir, which also anchors a relative program path.
// A missing program shows "Err: Can't find " + path and gives -1.
int runAndWait(Session& session, const std::string& programPath, const std::string& argumentText,
               const std::string& workDir);

}  // namespace ndx
