#pragma once

#include "../core/seams.h"

class QProcess;

namespace ndx {

// Starts the child with QProcess and waits in a nested event loop, so the
// window repaints and Timer1 keeps ticking while the child runs. Each child
// leads a process group of its own, so that stopping it also stops what it
// started (a script's loader); a SIGINT, SIGTERM or SIGHUP that ends this
// program passes SIGTERM on to that group first.
class QtProcessRunner : public ProcessRunner {
public:
    // Time a stopped child gets between SIGTERM and SIGKILL.
    explicit QtProcessRunner(int stopGraceMs = 5000) : stopGraceMs_(stopGraceMs) {}
    int run(const std::vector<std::string>& argv, const std::string& workDir, const OutputLine& output) override;
    std::string shutDown() override;

private:
    int stopGraceMs_;
    bool shutDown_ = false;
    QProcess* current_ = nullptr;
    std::string currentName_;
};

// A Linux exit status is 8 bits; the children exit with negative codes.
int signedExitStatus(int status);

}  // namespace ndx
