#pragma once
// The children a batch runs itself before its devices (the search for them),
// one at a time through the job pool: no Qt, no threads, and the batch's
// stop signals end them as they end the devices.

#include <chrono>

#include "core/seams.h"
#include "job_pool.h"

namespace ndx {

class PoolRunner : public ProcessRunner {
public:
    PoolRunner(BatchSignals& signals, std::chrono::milliseconds stopGrace, LogMemo& errors)
        : signals_(signals), stopGrace_(stopGrace), errors_(errors)
    {
    }
    int run(const std::vector<std::string>& argv, const std::string& workDir, const OutputLine& output) override;
    // The stop signal that came while a child ran (the batch must not go
    // on), 0 while none did.
    int stoppedBy() const { return stoppedBy_; }

private:
    BatchSignals& signals_;
    std::chrono::milliseconds stopGrace_;
    LogMemo& errors_;
    int stoppedBy_ = 0;
};

}  // namespace ndx
