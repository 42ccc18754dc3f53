#include "run_folders.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <set>
#include <system_error>

#include "core/kit_lock.h"
#include "core/parameter_backup.h"
#include "core/upgrade.h"

namespace ndx {

namespace fs = std::filesystem;

namespace {

// What a device's procedure writes into its kit: never shared. Nor is the
// kit's lock: a device's folder is its own kit, which no one else uses.
bool isPrivate(const std::string& folder, const std::string& name)
{
    static const std::set<std::string> tool = {plainParameterFileName, scrambledParameterFileName, kitLockFileName};
    static const std::set<std::string> kernel = {"image.dat", "verinfo.txt", "snr.tmp", backupFileName};
    return (folder == "Tool" ? tool : kernel).count(name) > 0;
}

std::string reason(const fs::path& path, const std::error_code& ec)
{
    return path.string() + ": " + ec.message();
}

}  // namespace

bool makeRunFolder(const std::string& base, const std::string& requested, std::time_t now, std::string& folder,
                   std::string& error)
{
    std::error_code ec;
    if (!requested.empty()) {
        const fs::path path = fs::absolute(requested, ec).lexically_normal();
        if (ec) {
            error = reason(requested, ec);
            return false;
        }
        fs::create_directories(path, ec);
        if (ec || !fs::is_directory(path, ec)) {
            error = reason(path, ec ? ec : std::make_error_code(std::errc::not_a_directory));
            return false;
        }
        if (!fs::is_empty(path, ec)) {
            error = path.string() + ": the run folder must be empty";
            return false;
        }
        folder = path.string();
        return true;
    }
    const fs::path runs = fs::path(base) / "runs";
    fs::create_directories(runs, ec);
    if (ec) {
        error = reason(runs, ec);
        return false;
    }
    char stamp[32];
    std::tm local{};
    ::localtime_r(&now, &local);
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    // mkdir, not create_directories: two batches started in the same second
    // must not share a folder.
    for (int n = 1; n <= 100; ++n) {
        const fs::path path = runs / (n == 1 ? std::string(stamp) : std::string(stamp) + "-" + std::to_string(n));
        if (::mkdir(path.c_str(), 0777) == 0) {
            folder = path.string();
            return true;
        }
        if (errno != EEXIST) {
            error = path.string() + ": " + std::strerror(errno);
            return false;
        }
    }
    error = (runs / stamp).string() + ": taken 100 times";
    return false;
}

bool makeDeviceFolder(const std::string& base, const std::string& run, const std::string& name,
                      const std::string& plainFile, std::string& folder, std::string& error)
{
    const fs::path device = fs::path(run) / name;
    std::error_code ec;
    for (const char* part : {"Tool", "Kernel"}) {
        const fs::path shared = fs::path(base) / part;
        const fs::path own = device / part;
        fs::create_directories(own, ec);
        if (ec) {
            error = reason(own, ec);
            return false;
        }
        for (fs::directory_iterator entry(shared, ec), end; !ec && entry != end; entry.increment(ec)) {
            const std::string entryName = entry->path().filename().string();
            if (isPrivate(part, entryName)) continue;
            fs::create_symlink(entry->path(), own / entryName, ec);
            if (ec) {
                error = reason(own / entryName, ec);
                return false;
            }
        }
        if (ec) {
            error = reason(shared, ec);
            return false;
        }
    }
    if (!plainFile.empty()) {
        fs::create_symlink(plainFile, deviceParameterLink(device.string()), ec);
        if (ec) {
            error = reason(deviceParameterLink(device.string()), ec);
            return false;
        }
    }
    folder = device.string();
    return true;
}

std::string deviceParameterLink(const std::string& deviceFolder)
{
    return (fs::path(deviceFolder) / "Tool" / plainParameterFileName).string();
}

}  // namespace ndx
