#pragma once

class EthernetLink;
class ZdpClient;

// Runs a memory script file against the connected device. The number of
// command lines run (0 or more) when the run ended without failure, else:
//   -1 no path, -2 no command line in the file, -3 the run failed,
//   -5 the file cannot be accessed, -9 it cannot be opened.
// A failed test command under quit-on-failure ends the run at once, as a
// failure: QUIT_ON_FAILURE_RESULT. A stop asked for by a signal ends it after
// the line it cut short, as a failed run without a message: STOPPED_RESULT.
int run_script(EthernetLink& link, ZdpClient& zdp, const char* path);

constexpr int QUIT_ON_FAILURE_RESULT = -1;
constexpr int STOPPED_RESULT = -3;
