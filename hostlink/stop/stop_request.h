#pragma once

#include <cstdint>

// A stop asked for by SIGINT, SIGTERM or SIGHUP. The handler only records the
// signal: every wait of the loader checks for it and returns, nothing more is
// sent to the device, and start-up ends the run with 128 + the signal number,
// so that what the run printed before is kept. A second such signal ends the
// process at once.

// Installs the handler for the three signals. A signal that was ignored when
// the loader started stays ignored (a job started with nohup keeps working).
void install_stop_handlers();

// The signal that asked for the stop; 0 while none has.
int stop_signal();
bool stop_requested();

// Records a stop as the handler does; 0 forgets it. Tests ask for a stop
// through this without sending a signal.
void request_stop(int signal_number);

// "SIGINT", "SIGTERM", "SIGHUP"; "signal" for any other number.
const char* stop_signal_name(int signal_number);

// Sleeps `milliseconds`, or less when a stop comes first (not at all when
// one has come already). False when a stop has come.
bool sleep_unless_stopped(int64_t milliseconds);

// Waits until `descriptor` has something to read (or has ended) or a stop
// comes. False when a stop has come.
bool await_input_unless_stopped(int descriptor);

// For a helper thread: the stop signals are delivered to the other threads,
// so that they end the main thread's waits.
void block_stop_signals_in_this_thread();

// Called by the handler before a second signal ends the process: it must be
// async-signal-safe (the console puts the terminal's own mode back with it).
void set_forced_end_hook(void (*hook)());
