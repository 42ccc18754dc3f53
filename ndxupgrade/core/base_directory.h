#pragma once
// Where the installation tree (Tool/ and Kernel/) is: the base directory that
// every path of the procedures starts from. A kit the user may not write into
// (the package's, under /usr/share) is used through the user's working copy
// of it (see kit_copy.h).

#include <functional>
#include <optional>
#include <string>

#include "kit_copy.h"

namespace ndx {

// What the decision looks at; the start-up fills it from the process, tests
// fill it by hand.
struct BaseCandidates {
    std::optional<std::string> currentDirectory;  // none: it cannot be read
    std::string currentDirectoryError;            // why not, when it cannot
    std::string executableDirectory;              // "" when unknown
    // The package's kit, found from the program's place: <prefix>/bin/ndxupgrade
    // and <prefix>/share/<package>/kit; "" when unknown.
    std::string installedKitDirectory;
    // Where the working copy of a kit goes: $XDG_DATA_HOME/<package>/kit; ""
    // when no data folder is known, and then why not.
    std::string userKitDirectory;
    std::string userKitDirectoryError;
    // True when the directory holds both Tool/ and Kernel/.
    std::function<bool(const std::string& directory)> holdsKit;
    // True when the user may write into the kit's Tool/ and Kernel/.
    std::function<bool(const std::string& directory)> writable;
};

enum class BaseSource {
    CurrentDirectory,     // it holds the kit
    ExecutableDirectory,  // the current directory does not, the program's directory does
    InstalledKit,         // neither does, the package's kit is there
    CurrentWithoutKit,    // neither does: the current directory, so the procedures name what is missing
    Unreadable,           // the current directory cannot be read: nothing may start
};

struct BaseDecision {
    BaseSource source = BaseSource::Unreadable;
    std::string directory;  // where the procedures work; empty for Unreadable
    // Not empty: the kit that was found, which the user does not write into;
    // `directory` is then the user's working copy of it.
    std::string copyOf;
};

BaseDecision decideBaseDirectory(const BaseCandidates& candidates);

// The one line that reports the decision ("ndxupgrade: base directory …"), or
// for Unreadable the message that nothing starts. `copy` tells what became of
// the working copy when the decision asks for one.
std::string baseDirectoryText(const BaseDecision& decision, const BaseCandidates& candidates, KitCopyOutcome copy);

// What the start-up works with: the decision carried out (the working copy
// made or refreshed where the decision asks for one) and what to report.
struct StartBase {
    std::string directory;  // empty: nothing may start
    std::string note;       // the base directory line and any lines about the copy, or why nothing starts
    // The working copy was refreshed from a changed kit at this start: the
    // note then tells of files replaced and files kept, worth showing where
    // the technician reads.
    bool copyRefreshed = false;
};
StartBase settleBaseDirectory(const BaseCandidates& candidates);

// The candidates of this process: getcwd, /proc/self/exe, the environment,
// the file system.
BaseCandidates processBaseCandidates();

}  // namespace ndx
