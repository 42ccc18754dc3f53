#pragma once
// Runs the devices of a batch as child processes, at most N at once.
//
// Each job leads a process group of its own, and whatever it starts stays in
// that group: a job has ended when its process has ended and nothing of its
// group is left (what it leaves behind gets SIGTERM, then SIGKILL). Jobs are
// also told to end (SIGTERM) when this program ends while they run.
//
// SIGINT, SIGTERM or SIGHUP stop the batch: no job starts any more, every
// running group gets SIGTERM, and SIGKILL when it has not ended after the
// grace time; a second such signal sends SIGKILL at once. A signal ignored
// when the batch starts (nohup) stays ignored. The pool returns once every
// job has ended.

#include <signal.h>

#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

namespace ndx {

// Keeps the stop signals and SIGCHLD blocked for as long as it lives, so that
// a Ctrl-C while the batch is being prepared waits for the pool instead of
// ending the program with the plain parameter file on disk.
class BatchSignals {
public:
    BatchSignals();
    ~BatchSignals();
    BatchSignals(const BatchSignals&) = delete;
    BatchSignals& operator=(const BatchSignals&) = delete;

    int fd() const { return fd_; }
    const sigset_t& previousMask() const { return previous_; }

private:
    int fd_ = -1;
    sigset_t previous_;
    struct sigaction previousPipe_ {};
};

struct BatchJob {
    std::vector<std::string> argv;  // argv[0]: the program's path
    std::string workDir;
};

struct JobEnd {
    enum class How { Exited, Signalled, CouldNotStart, NotStarted } how = How::NotStarted;
    int status = 0;              // Exited: the exit status; Signalled: the signal
    bool stopRequested = false;  // it was running when the batch was stopped
    double seconds = 0;          // from its start until its process ended
};

class BatchListener {
public:
    virtual ~BatchListener() = default;
    virtual void started(std::size_t job) = 0;
    // A line the job printed on standard output or standard error.
    virtual void line(std::size_t job, const std::string& text) = 0;
    // Exactly once per job, running or not: as it ends, or for the jobs left
    // waiting by a stop, once the running ones have ended.
    virtual void ended(std::size_t job, const JobEnd& end) = 0;
    // The batch is being stopped by the signal named.
    virtual void stopping(const std::string& signalName) = 0;
};

// Runs the jobs in order, at most `parallel` at once. Returns the signal that
// stopped the batch, 0 when none did.
int runJobPool(const std::vector<BatchJob>& jobs, int parallel, std::chrono::milliseconds stopGrace,
               BatchSignals& signals, BatchListener& listener);

}  // namespace ndx
