#pragma once
// Where the installation tree (Tool/ and Kernel/) is: the base directory that
// every path of the procedures starts from.

#include <functional>
#include <optional>
#include <string>

namespace ndx {

// What the decision looks at; the start-up fills it from the process, tests
// fill it by hand.
struct BaseCandidates {
    std::optional<std::string> currentDirectory;  // none: it cannot be read
    std::string currentDirectoryError;            // why not, when it cannot
    std::string executableDirectory;              // "" when unknown
    // True when the directory holds both Tool/ and Kernel/.
    std::function<bool(const std::string& directory)> holdsKit;
};

enum class BaseSource {
    CurrentDirectory,     // it holds the kit
    ExecutableDirectory,  // the current directory does not, the program's directory does
    CurrentWithoutKit,    // neither does: the current directory, so the procedures name what is missing
    Unreadable,           // the current directory cannot be read: nothing may start
};

struct BaseDecision {
    BaseSource source = BaseSource::Unreadable;
    std::string directory;  // empty for Unreadable
};

BaseDecision decideBaseDirectory(const BaseCandidates& candidates);

// The one line that reports the decision ("ndxupgrade: base directory …"), or
// for Unreadable the message that nothing starts.
std::string baseDirectoryText(const BaseDecision& decision, const BaseCandidates& candidates);

// The candidates of this process: getcwd, /proc/self/exe, the file system.
BaseCandidates processBaseCandidates();

}  // namespace ndx
