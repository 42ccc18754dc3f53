#include "pause.h"

#include <time.h>

#include "stop/stop_request.h"

namespace {

// A stop cuts the pause short: the wait that paused checks for it next.
void sleep_for_ms(int milliseconds) { sleep_unless_stopped(milliseconds); }

int64_t monotonic_us() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1'000'000 + now.tv_nsec / 1000;
}

PauseFunction current_pause = sleep_for_ms;
ClockFunction current_clock = monotonic_us;

}  // namespace

void pause_ms(int milliseconds) { current_pause(milliseconds); }

PauseFunction set_pause_function(PauseFunction pause) {
    PauseFunction previous = current_pause;
    current_pause = pause ? pause : sleep_for_ms;
    return previous;
}

int64_t clock_us() { return current_clock(); }

ClockFunction set_clock_function(ClockFunction clock) {
    ClockFunction previous = current_clock;
    current_clock = clock ? clock : monotonic_us;
    return previous;
}
