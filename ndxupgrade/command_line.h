#pragma once
// The command line of ndxupgrade, read before anything of Qt exists, so that
// --help, --version and mistakes need neither a display nor a platform plugin.

#include <string>
#include <vector>

namespace ndx {

enum class Action { Window, Help, Version, Upgrade, QueryVersion, Diagnose, UsageError };

struct CommandLine {
    Action action = Action::Window;
    std::string mac, local, remote, interface, pe = "255";
    std::string error;  // for UsageError: what was wrong
};

CommandLine parseCommandLine(const std::vector<std::string>& args);

std::string usageText();
std::string versionText();

}  // namespace ndx
