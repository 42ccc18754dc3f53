#pragma once
// The firmware upgrade and the steps the other operations reuse: connect,
// version query, and the parameter-file preparation of the download click.

#include <string>

#include "mac_fields.h"
#include "session.h"

namespace ndx {

std::string toolPath(const Session& session, const std::string& name);  // base/Tool/name
std::string kernelDir(const Session& session);                          // base/Kernel

// A directory the children can be started in.
bool canEnterDirectory(const std::string& dir);

bool connectStep(Session& session, const std::string& macText, LogMemo* memo);
bool versionQuery(Session& session, const std::string& macText, LogMemo* memo);
bool upgradeProcedure(Session& session, const MacAddress& target, LogMemo& diagMemo,
                      LogMemo* versionMemo);

enum class ClickOutcome {
    Stopped,  // a preparation box ended the click before any log line
    Success,
    Failed,
};

// DownloadBtnClick after its inputs check: prepares the plain parameter file,
// runs the upgrade, removes the plain file and shows the final box.
ClickOutcome downloadClick(Session& session, const MacAddress& target, LogMemo& diagMemo,
                           LogMemo* versionMemo);

// The parameter files in Tool/: the plain one exists only during an upgrade.
extern const char* const plainParameterFileName;      // prm_NDX470.inf
extern const char* const scrambledParameterFileName;  // prm_NDX470.dat

// Steps 2 and 3 of the download click: base/Tool's scrambled file (made
// first from Tool's plain one when it is missing) unscrambled into plainPath.
// False after its box has been shown.
bool preparePlainParameterFile(const std::string& base, MessageBoxes& boxes, const std::string& plainPath);

// The download click's final box for the outcome of the upgrade procedure.
ClickOutcome showUpgradeOutcome(Session& session, bool upgraded);

// VersionBtnClick after its inputs check.
bool versionClick(Session& session, const MacAddress& target, LogMemo* versionMemo);

}  // namespace ndx
