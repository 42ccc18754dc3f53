#include "batch_outputs.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace ndx {

namespace fs = std::filesystem;

namespace {

std::string because(const std::string& path, int error)
{
    return path + ": " + std::strerror(error);
}

// The folder itself when it exists, else the nearest of its parents that does.
fs::path nearestExisting(fs::path path)
{
    std::error_code ec;
    while (!fs::exists(fs::symlink_status(path, ec)) && path.has_relative_path()) path = path.parent_path();
    return path;
}

}  // namespace

bool checkRunFolderRequest(const std::string& requested, std::string& error)
{
    std::error_code ec;
    const fs::path path = fs::absolute(requested, ec).lexically_normal();
    if (ec) {
        error = requested + ": " + ec.message();
        return false;
    }
    const fs::path existing = nearestExisting(path);
    if (!fs::is_directory(existing, ec)) {
        error = because(path.string(), ENOTDIR);
        return false;
    }
    if (existing == path && !fs::is_empty(path, ec)) {
        error = path.string() + ": the run folder must be empty";
        return false;
    }
    if (::access(existing.c_str(), W_OK | X_OK) != 0) {
        error = because(path.string(), errno);
        return false;
    }
    return true;
}

bool checkReportPath(const std::string& report, const std::string& macList, std::string& error)
{
    std::error_code ec;
    const bool sameFile = !macList.empty() && (fs::equivalent(report, macList, ec) ||
                                               fs::absolute(report, ec).lexically_normal() ==
                                                   fs::absolute(macList, ec).lexically_normal());
    if (sameFile) {
        error = report + ": it is the --mac-list file";
        return false;
    }
    if (fs::is_directory(report, ec)) {
        error = because(report, EISDIR);
        return false;
    }
    // Opened as the report will be, without changing an existing file.
    int fd = ::open(report.c_str(), O_WRONLY | O_CLOEXEC);
    const bool made = fd < 0 && errno == ENOENT;
    if (made) fd = ::open(report.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        error = because(report, errno);
        return false;
    }
    ::close(fd);
    if (made) ::unlink(report.c_str());
    return true;
}

}  // namespace ndx
