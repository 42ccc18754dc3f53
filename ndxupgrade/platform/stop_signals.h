#pragma once
// SIGINT, SIGTERM and SIGHUP end a run of the window or of a single headless
// procedure cleanly instead of at once: the handler only notes the signal and
// wakes the event loop, where the program stops its running child as Exit
// does, lets the procedure unwind (the plain parameter file deleted), says
// what was stopped, and exits with 128 + the signal. A signal ignored at
// start (nohup) stays ignored. (A batch has its own: batch/job_pool.h.)

#include <functional>

class QSocketNotifier;

namespace ndx {

class StopSignals {
public:
    // Installs the handlers. `onSignal` runs on the event loop, for each
    // signal caught; it needs to stop the running child.
    explicit StopSignals(std::function<void(int signalNumber)> onSignal);
    // The default actions come back.
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    // The first signal caught, 0 while none was. After one, no child is
    // started any more, even before the event loop has run.
    static int caught();

private:
    std::function<void(int)> onSignal_;
    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace ndx
