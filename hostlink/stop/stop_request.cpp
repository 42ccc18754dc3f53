#include "stop_request.h"

#include <poll.h>
#include <signal.h>

#include <cerrno>
#include <cstdint>
#include <ctime>

namespace {

constexpr int STOP_SIGNALS[] = {SIGINT, SIGTERM, SIGHUP};

volatile sig_atomic_t recorded_signal = 0;
void (*volatile forced_end_hook)() = nullptr;

// The first signal is only recorded; a second one is the user insisting, and
// ends the process as the signal's own default action would.
void on_stop_signal(int signal_number) {
    if (recorded_signal == 0) {
        recorded_signal = signal_number;
        return;
    }
    if (forced_end_hook != nullptr) forced_end_hook();
    signal(signal_number, SIG_DFL);
    raise(signal_number);
}

sigset_t stop_signal_set() {
    sigset_t set;
    sigemptyset(&set);
    for (int signal_number : STOP_SIGNALS) sigaddset(&set, signal_number);
    return set;
}

int64_t monotonic_ns() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

// ppoll with the stop signals blocked until the call itself unblocks them:
// a signal that comes between the check of the flag and the wait still ends
// the wait. Ends when `descriptor` (if any) is ready, at `deadline_ns` (none
// when negative) or at a stop; false when a stop has come.
bool wait_unless_stopped(pollfd* descriptor, int64_t deadline_ns) {
    const sigset_t stops = stop_signal_set();
    sigset_t previous;
    pthread_sigmask(SIG_BLOCK, &stops, &previous);
    for (;;) {
        if (recorded_signal != 0) break;
        timespec left{};
        if (deadline_ns >= 0) {
            const int64_t left_ns = deadline_ns - monotonic_ns();
            if (left_ns <= 0) break;
            left.tv_sec = left_ns / 1'000'000'000;
            left.tv_nsec = left_ns % 1'000'000'000;
        }
        const int ready = ppoll(descriptor, descriptor != nullptr ? 1 : 0, deadline_ns >= 0 ? &left : nullptr,
                                &previous);
        if (ready > 0) break;
        if (ready < 0 && errno != EINTR) break;
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    return recorded_signal == 0;
}

}  // namespace

void install_stop_handlers() {
    for (int signal_number : STOP_SIGNALS) {
        struct sigaction current {};
        if (sigaction(signal_number, nullptr, &current) == 0 && current.sa_handler == SIG_IGN) continue;
        struct sigaction action {};
        action.sa_handler = on_stop_signal;
        sigemptyset(&action.sa_mask);
        // No SA_RESTART: a blocking read of the console returns at the signal.
        action.sa_flags = 0;
        sigaction(signal_number, &action, nullptr);
    }
}

int stop_signal() { return recorded_signal; }

bool stop_requested() { return recorded_signal != 0; }

void request_stop(int signal_number) { recorded_signal = signal_number; }

const char* stop_signal_name(int signal_number) {
    switch (signal_number) {
    case SIGINT: return "SIGINT";
    case SIGTERM: return "SIGTERM";
    case SIGHUP: return "SIGHUP";
    default: return "signal";
    }
}

bool sleep_unless_stopped(int64_t milliseconds) {
    if (milliseconds <= 0) return recorded_signal == 0;
    return wait_unless_stopped(nullptr, monotonic_ns() + milliseconds * 1'000'000);
}

bool await_input_unless_stopped(int descriptor) {
    pollfd input{descriptor, POLLIN, 0};
    return wait_unless_stopped(&input, -1);
}

void block_stop_signals_in_this_thread() {
    const sigset_t stops = stop_signal_set();
    pthread_sigmask(SIG_BLOCK, &stops, nullptr);
}

void set_forced_end_hook(void (*hook)()) { forced_end_hook = hook; }
