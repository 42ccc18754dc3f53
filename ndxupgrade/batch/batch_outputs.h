#pragma once
// What a batch writes besides its devices' folders: the run folder asked for
// with --run-dir and the --report file. Both are checked before anything
// starts, so that a path that cannot be written is found before any device
// is touched, not after all of them have been flashed.

#include <string>

namespace ndx {

// --run-dir: an empty folder, or one that can be made. False with `error`
// ("PATH: reason"); nothing is made.
bool checkRunFolderRequest(const std::string& requested, std::string& error);

// --report: a file that can be written and that is not the --mac-list file
// (when one is named). False with `error` ("PATH: reason"); an existing file
// is left as it is, and none is left behind.
bool checkReportPath(const std::string& report, const std::string& macList, std::string& error);

}  // namespace ndx
