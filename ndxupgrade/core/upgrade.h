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

// VersionBtnClick after its inputs check.
bool versionClick(Session& session, const MacAddress& target, LogMemo* versionMemo);

}  // namespace ndx
