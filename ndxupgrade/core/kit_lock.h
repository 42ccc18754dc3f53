#pragma once
// One procedure at a time per kit. An upgrade writes the kit's one plain
// parameter file (Tool/prm_NDX470.inf) and the Kernel's image.dat and
// verinfo.txt; two at once from one kit would flash each other's device
// data. Every procedure of the window and of the single headless modes holds
// the kit's lock from its inputs check until it has removed the plain file;
// a batch holds it while it reads the kit's files into its run folder.
//
// The lock is an flock on Tool/.ndxupgrade.lock; its holder writes its
// process number into the file, so that a refused run can name it. The
// system drops the lock with the process, whatever ends it.

#include <sys/types.h>

#include <string>

namespace ndx {

extern const char* const kitLockFileName;  // in Tool/

class KitLock {
public:
    // Tries once, without waiting.
    explicit KitLock(const std::string& base);
    ~KitLock();
    KitLock(const KitLock&) = delete;
    KitLock& operator=(const KitLock&) = delete;

    // Not empty when another process holds the kit: the text that refuses
    // this run. Empty also when the kit has no Tool/ folder to lock, where
    // the procedure itself names what is missing.
    const std::string& refusal() const { return refusal_; }
    bool held() const { return fd_ >= 0 && refusal_.empty(); }

private:
    int fd_ = -1;
    std::string refusal_;
};

// "Another upgrade is running from this kit (process N). …"
std::string kitBusyText(pid_t holder);

}  // namespace ndx
