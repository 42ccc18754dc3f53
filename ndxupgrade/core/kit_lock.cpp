#include "kit_lock.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <thread>

namespace ndx {

const char* const kitLockFileName = ".ndxupgrade.lock";

namespace {

// The holder writes its number right after taking the lock; a refused run
// gives it this long to appear.
constexpr auto holderWait = std::chrono::milliseconds(500);

// The process number in the lock file when it names a process that exists;
// 0 otherwise (not written yet, or left by a holder that died).
pid_t readHolder(int fd)
{
    char text[32] = {};
    const ssize_t got = ::pread(fd, text, sizeof text - 1, 0);
    if (got <= 0) return 0;
    char* end = nullptr;
    const long pid = std::strtol(text, &end, 10);
    if (end == text || pid <= 0 || (*end != '\n' && *end != '\0')) return 0;
    if (::kill(static_cast<pid_t>(pid), 0) != 0 && errno != EPERM) return 0;
    return static_cast<pid_t>(pid);
}

}  // namespace

std::string kitBusyText(pid_t holder)
{
    const std::string process = holder > 0 ? "process " + std::to_string(holder) : std::string("process unknown");
    return "Another upgrade is running from this kit (" + process +
           "). Wait for it to end, or use batch mode for several devices.";
}

KitLock::KitLock(const std::string& base)
{
    const std::string path = base + "/Tool/" + kitLockFileName;
    fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    // A lock file that another user made (and keeps to himself) still locks.
    if (fd_ < 0 && errno == EACCES) fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    // No Tool/ (or none that can hold a file): nothing that a second run
    // could write either; the procedure reports the missing files.
    if (fd_ < 0) return;
    int taken;
    while ((taken = ::flock(fd_, LOCK_EX | LOCK_NB)) != 0 && errno == EINTR) {
    }
    if (taken == 0) {
        // On a read-only lock file the lock holds all the same; a refused
        // run then cannot name this process.
        const std::string pid = std::to_string(::getpid()) + "\n";
        static_cast<void>(::ftruncate(fd_, 0) == 0 && ::pwrite(fd_, pid.data(), pid.size(), 0) > 0);
        return;
    }
    pid_t holder = 0;
    const auto deadline = std::chrono::steady_clock::now() + holderWait;
    while ((holder = readHolder(fd_)) == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    refusal_ = kitBusyText(holder);
    ::close(fd_);
    fd_ = -1;
}

KitLock::~KitLock()
{
    if (fd_ < 0) return;
    // A stale number must never name the next holder.
    static_cast<void>(::ftruncate(fd_, 0) == 0);
    ::close(fd_);
}

}  // namespace ndx
