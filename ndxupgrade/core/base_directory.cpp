#include "base_directory.h"

#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "self_path.h"

namespace ndx {

BaseDecision decideBaseDirectory(const BaseCandidates& c)
{
    // An unreadable current directory must never turn into "" and so into
    // paths at the file system root.
    if (!c.currentDirectory || c.currentDirectory->empty()) return {BaseSource::Unreadable, ""};
    if (c.holdsKit(*c.currentDirectory)) return {BaseSource::CurrentDirectory, *c.currentDirectory};
    if (!c.executableDirectory.empty() && c.holdsKit(c.executableDirectory))
        return {BaseSource::ExecutableDirectory, c.executableDirectory};
    return {BaseSource::CurrentWithoutKit, *c.currentDirectory};
}

std::string baseDirectoryText(const BaseDecision& d, const BaseCandidates& c)
{
    switch (d.source) {
    case BaseSource::CurrentDirectory: return "ndxupgrade: base directory " + d.directory;
    case BaseSource::ExecutableDirectory:
        return "ndxupgrade: base directory " + d.directory + " (the program's directory; " + *c.currentDirectory +
               " holds no Tool/ and Kernel/)";
    case BaseSource::CurrentWithoutKit:
        return "ndxupgrade: base directory " + d.directory + " (no Tool/ and Kernel/ here" +
               (c.executableDirectory.empty() ? std::string() : " nor in " + c.executableDirectory) + ")";
    case BaseSource::Unreadable: break;
    }
    return "Can't read the current directory (" + c.currentDirectoryError +
           "); start ndxupgrade from the directory that holds Tool and Kernel.";
}

BaseCandidates processBaseCandidates()
{
    BaseCandidates c;
    // glibc sizes the buffer itself and can name even a directory deeper than
    // the kernel reports, but no path below it would open: such a directory
    // counts as unreadable, like one that has been removed.
    if (char* cwd = ::getcwd(nullptr, 0)) {
        if (std::strlen(cwd) < PATH_MAX)
            c.currentDirectory = cwd;
        else
            c.currentDirectoryError = std::strerror(ENAMETOOLONG);
        std::free(cwd);
    } else {
        c.currentDirectoryError = std::strerror(errno);
    }
    c.executableDirectory = directory_of(self_path());
    c.holdsKit = [](const std::string& directory) {
        std::error_code ec;
        return std::filesystem::is_directory(directory + "/Tool", ec) &&
               std::filesystem::is_directory(directory + "/Kernel", ec);
    };
    return c;
}

}  // namespace ndx
