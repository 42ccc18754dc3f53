#pragma once

#include "../core/seams.h"

namespace ndx {

// Starts the child with QProcess and waits in a nested event loop, so the
// window repaints and Timer1 keeps ticking while the child runs.
class QtProcessRunner : public ProcessRunner {
public:
    int run(const std::vector<std::string>& argv, const std::string& workDir) override;
};

// A Linux exit status is 8 bits; the children exit with negative codes.
int signedExitStatus(int status);

}  // namespace ndx
