#pragma once
// The copy of a device's parameters taken before an upgrade writes anything:
// the loader runs Tool/backup.txt, which reads the firmware version and the
// parameter image at 0x8000 into Kernel/backup.bin. A device whose image
// cannot be read is not touched further.

#include <cstddef>
#include <string>

#include "session.h"

namespace ndx {

// The parameter image the device keeps at 0x8000.
constexpr std::size_t kParameterImageSize = 428;

extern const char* const backupScriptPath;  // Tool/backup.txt, below the base
extern const char* const backupFileName;    // backup.bin, in Kernel/

// Logs "Back up target :" and then "Ok." or the failure line; on success the
// image and the version are in session.facts.
bool backupStep(Session& session, const std::string& macText, LogMemo& memo);

// The version as the version query shows it: 0.0.1 stands for every
// firmware up to 1.2d.
std::string shownVersion(const std::string& version);

}  // namespace ndx
