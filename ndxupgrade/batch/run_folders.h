#pragma once
// Where a batch works: a run folder, and in it one private kit per device.
//
// A device's folder holds Tool/ and Kernel/ of its own, so that what its
// procedure writes there (Kernel/image.dat, Kernel/verinfo.txt, Kernel/backup.bin,
// Kernel/snr.tmp) is its own; every other entry of the base directory's
// Tool/ and Kernel/ (the programs, the scripts, the kit's read-only files) is
// a link to the shared one. The plain parameter file, decoded once per run
// into the run folder, is linked as the device's Tool/prm_NDX470.inf.

#include <ctime>
#include <string>

namespace ndx {

// `requested` when given (relative to the current directory; made with its
// parents, and an existing one must be empty), else
// <base>/runs/<YYYYMMDD-HHMMSS> of `now` in local time, with -2, -3 … when a
// run of the same second has it. False with `error` (path and reason).
bool makeRunFolder(const std::string& base, const std::string& requested, std::time_t now, std::string& folder,
                   std::string& error);

// <run>/<name>/ as described above; plainFile "" gives no parameter file.
bool makeDeviceFolder(const std::string& base, const std::string& run, const std::string& name,
                      const std::string& plainFile, std::string& folder, std::string& error);

// The device's link to the run's plain parameter file.
std::string deviceParameterLink(const std::string& deviceFolder);

}  // namespace ndx
