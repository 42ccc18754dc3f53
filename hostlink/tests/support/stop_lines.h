#pragma once

#include <signal.h>

// The signals that stop the loader cleanly, with the line it then prints on
// standard error (its status is 128 + the signal number).
struct StopLine {
    int signal_number;
    const char* line;
};

inline const StopLine STOP_LINES[] = {{SIGINT, "hostlink: stopped by SIGINT\n"},
                                      {SIGTERM, "hostlink: stopped by SIGTERM\n"},
                                      {SIGHUP, "hostlink: stopped by SIGHUP\n"}};
