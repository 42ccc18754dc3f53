#include "base_directory.h"

#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "self_path.h"

namespace ndx {

namespace fs = std::filesystem;

namespace {

// Two names of one directory, as far as their text tells ("/a/kit/" is "/a/kit").
bool sameDirectory(const std::string& a, const std::string& b)
{
    if (a.empty() || b.empty()) return false;
    const auto normal = [](const std::string& text) {
        const fs::path path = fs::path(text).lexically_normal();
        return path.has_filename() || path == path.root_path() ? path : path.parent_path();
    };
    return normal(a) == normal(b);
}

std::string copyFailureText(const BaseDecision& d, const std::string& why)
{
    return "Can't set up your working copy of the kit " + d.copyOf +
           (d.directory.empty() ? std::string() : " in " + d.directory) + " (" + why +
           "); set XDG_DATA_HOME to a folder you can write, or start ndxupgrade in a writable copy of the kit.";
}

}  // namespace

BaseDecision decideBaseDirectory(const BaseCandidates& c)
{
    // An unreadable current directory must never turn into "" and so into
    // paths at the file system root.
    if (!c.currentDirectory || c.currentDirectory->empty()) return {BaseSource::Unreadable, "", ""};
    BaseDecision d;
    if (c.holdsKit(*c.currentDirectory))
        d = {BaseSource::CurrentDirectory, *c.currentDirectory, ""};
    else if (!c.executableDirectory.empty() && c.holdsKit(c.executableDirectory))
        d = {BaseSource::ExecutableDirectory, c.executableDirectory, ""};
    else if (!c.installedKitDirectory.empty() && c.holdsKit(c.installedKitDirectory))
        d = {BaseSource::InstalledKit, c.installedKitDirectory, ""};
    else
        return {BaseSource::CurrentWithoutKit, *c.currentDirectory, ""};

    // The package's kit belongs to the package manager: it is never written
    // into, not even by root. Any other kit is used in place where it can be
    // written. The working copy itself is always used in place.
    if (sameDirectory(d.directory, c.userKitDirectory)) return d;
    if (sameDirectory(d.directory, c.installedKitDirectory) || !c.writable(d.directory)) {
        d.copyOf = d.directory;
        d.directory = c.userKitDirectory;
    }
    return d;
}

std::string baseDirectoryText(const BaseDecision& d, const BaseCandidates& c, KitCopyOutcome copy)
{
    if (!d.copyOf.empty()) {
        const std::string kit = sameDirectory(d.copyOf, c.installedKitDirectory) ? "the installed kit " + d.copyOf
                                                                                 : d.copyOf + ", which is not writable";
        const char* state = copy == KitCopyOutcome::Made        ? "made now"
                            : copy == KitCopyOutcome::Refreshed ? "refreshed from it now"
                                                                : "up to date";
        return "ndxupgrade: base directory " + d.directory + " (your working copy of " + kit + "; " + state + ")";
    }
    switch (d.source) {
    case BaseSource::CurrentDirectory: return "ndxupgrade: base directory " + d.directory;
    case BaseSource::ExecutableDirectory:
        return "ndxupgrade: base directory " + d.directory + " (the program's directory; " + *c.currentDirectory +
               " holds no Tool/ and Kernel/)";
    case BaseSource::InstalledKit: return "ndxupgrade: base directory " + d.directory + " (the installed kit)";
    case BaseSource::CurrentWithoutKit:
        return "ndxupgrade: base directory " + d.directory + " (no Tool/ and Kernel/ here" +
               (c.executableDirectory.empty() ? std::string() : " nor in " + c.executableDirectory) + ")";
    case BaseSource::Unreadable: break;
    }
    return "Can't read the current directory (" + c.currentDirectoryError +
           "); start ndxupgrade from the directory that holds Tool and Kernel.";
}

StartBase settleBaseDirectory(const BaseCandidates& c)
{
    const BaseDecision d = decideBaseDirectory(c);
    if (d.source == BaseSource::Unreadable) return {"", baseDirectoryText(d, c, KitCopyOutcome::Failed)};
    if (d.copyOf.empty()) return {d.directory, baseDirectoryText(d, c, KitCopyOutcome::Failed)};
    if (d.directory.empty()) return {"", copyFailureText(d, c.userKitDirectoryError)};

    const KitCopyResult copy = prepareKitCopy(d.copyOf, d.directory);
    if (copy.outcome == KitCopyOutcome::Failed) return {"", copyFailureText(d, copy.error)};
    std::string note = baseDirectoryText(d, c, copy.outcome);
    for (const std::string& file : copy.keptChanged)
        note += "\nndxupgrade: kept your own " + file + "; the installed kit's new one is " + file + ".new";
    for (const std::string& file : copy.keptRemoved)
        note += "\nndxupgrade: kept " + file + " removed, as you left it; the installed kit's new one is " + file +
                ".new";
    return {d.directory, note, copy.outcome == KitCopyOutcome::Refreshed};
}

namespace {

// $XDG_DATA_HOME, or its default ~/.local/share; a relative value is not
// one (the XDG base directory rules ignore it).
std::string dataHome()
{
    const char* xdg = std::getenv("XDG_DATA_HOME");
    if (xdg && xdg[0] == '/') return xdg;
    const char* home = std::getenv("HOME");
    if (!(home && home[0] == '/')) {
        const passwd* user = ::getpwuid(::getuid());
        home = user && user->pw_dir && user->pw_dir[0] == '/' ? user->pw_dir : nullptr;
    }
    return home ? std::string(home) + "/.local/share" : std::string();
}

}  // namespace

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
    if (!c.executableDirectory.empty()) {
        std::error_code ec;
        const fs::path kit = fs::weakly_canonical(fs::path(c.executableDirectory) / ".." / NDXUPGRADE_KIT_DIR, ec);
        if (!ec) c.installedKitDirectory = kit.string();
    }
    if (const std::string data = dataHome(); !data.empty())
        c.userKitDirectory = (fs::path(data) / NDXUPGRADE_PACKAGE_NAME / "kit").lexically_normal().string();
    else
        c.userKitDirectoryError = "neither XDG_DATA_HOME nor HOME names a folder";
    c.holdsKit = [](const std::string& directory) {
        std::error_code ec;
        return std::filesystem::is_directory(directory + "/Tool", ec) &&
               std::filesystem::is_directory(directory + "/Kernel", ec);
    };
    c.writable = [](const std::string& directory) {
        return ::access((directory + "/Tool").c_str(), W_OK | X_OK) == 0 &&
               ::access((directory + "/Kernel").c_str(), W_OK | X_OK) == 0;
    };
    return c;
}

}  // namespace ndx
