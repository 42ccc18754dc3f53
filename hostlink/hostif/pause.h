#pragma once

#include <cstdint>

// The pauses of the device waits (what is left of each 100 ms polling pass
// once its listening is done, the short fixed pauses of reset and download).
// They pace the loader against a slow device; tests put a shorter or
// recording pause in their place. The real pause ends early when a signal
// asks for a stop.
using PauseFunction = void (*)(int milliseconds);

void pause_ms(int milliseconds);

// Installs `pause` (nullptr restores the real sleep); returns the one it replaces.
PauseFunction set_pause_function(PauseFunction pause);

// The monotonic clock, in microseconds, that times the reply windows of the
// requests. A substitute link that simulates time puts its own clock here.
using ClockFunction = int64_t (*)();

int64_t clock_us();

// Installs `clock` (nullptr restores the real one); returns the one it replaces.
ClockFunction set_clock_function(ClockFunction clock);
