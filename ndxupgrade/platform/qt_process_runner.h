#pragma once

#include <sys/types.h>

#include "../core/seams.h"

class QProcess;

namespace ndx {

// Starts the child with QProcess and waits in a nested event loop, so the
// window repaints and Timer1 keeps ticking while the child runs. Each child
// leads a process group of its own, so that stopping it (shutDown: Exit, or a
// stop signal, see stop_signals.h) also stops what it started (a script's
// loader).
//
// With ChildGroups::Shared (one device of a batch, which leads a group of its
// own) the children stay in this program's group instead, so that the batch
// stops the device with everything it started through that one group.
enum class ChildGroups { OwnEach, Shared };

class QtProcessRunner : public ProcessRunner {
public:
    // Time a stopped child gets between SIGTERM and SIGKILL.
    explicit QtProcessRunner(int stopGraceMs = 5000, ChildGroups groups = ChildGroups::OwnEach)
        : stopGraceMs_(stopGraceMs), groups_(groups)
    {
    }
    int run(const std::vector<std::string>& argv, const std::string& workDir, const OutputLine& output) override;
    std::string shutDown() override;

private:
    // The child's group, or in Shared mode the child alone.
    pid_t target(pid_t child) const { return groups_ == ChildGroups::OwnEach ? -child : child; }

    int stopGraceMs_;
    ChildGroups groups_;
    bool shutDown_ = false;
    QProcess* current_ = nullptr;
    std::string currentName_;
};

// A Linux exit status is 8 bits; the children exit with negative codes.
int signedExitStatus(int status);

}  // namespace ndx
