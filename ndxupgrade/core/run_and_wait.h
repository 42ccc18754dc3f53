#pragma once

#include <string>
#include <vector>

#include "session.h"

namespace ndx {

// The argument text cut at blanks; runs of blanks give no empty words.
std::vector<std::string> splitArgumentText(const std::string& text);

// The name a child's output lines carry: the script's file name for a shell
// script, else the program's file name ("program_flash.sh", "hostlink").
std::string childName(const std::vector<std::string>& argv);

// "child: line", unless the line already names the child that way.
std::string labelledChildLine(const std::string& child, const std::string& line);

// Marks the loader's line that says why it could not capture.
bool isCaptureDiagnosis(const std::string& line);

// "ndxupgrade: cannot run PATH: REASON", naming the group that alone may run
// the program when there is one.
std::string cannotRunText(const std::string& path, const std::string& reason, const std::string& onlyGroup);

// A line that says why the loader could not do its work: its capture
// diagnosis, or that it could not be started.
bool isLoaderDiagnosis(const std::string& line);

// Runs a program (or, for a ".sh" path, /bin/sh with the script) with the
// argument text in workDir, which also anchors a relative program path.
// A missing program shows "Err: Can't find " + path and gives -1; one this
// user may not run gives -1 with the reason kept in the session (nothing is
// started). The child's lines go to the session's child output; a capture
// diagnosis among them is kept in the session for the step's failure.
// `read`, when given, sees each line first (a step that takes its result
// from the child's output).
int runAndWait(Session& session, const std::string& programPath, const std::string& argumentText,
               const std::string& workDir, const OutputLine& read = {});

}  // namespace ndx
