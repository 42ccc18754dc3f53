#include "pause.h"

#include <chrono>
#include <thread>

namespace {

void sleep_for_ms(int milliseconds) {
    if (milliseconds > 0) std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

PauseFunction current_pause = sleep_for_ms;

}  // namespace

void pause_ms(int milliseconds) { current_pause(milliseconds); }

PauseFunction set_pause_function(PauseFunction pause) {
    PauseFunction previous = current_pause;
    current_pause = pause ? pause : sleep_for_ms;
    return previous;
}
