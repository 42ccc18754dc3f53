#pragma once

#include <cstdint>
#include <cstdio>

#include "script_line.h"
#include "script_operations.h"

// One run of the interpreter over one file; each nested F run has its own.
struct ScriptRun {
    EthernetLink& link;
    ZdpClient& zdp;
    const ScriptOperations& operations;
    std::FILE* file;
    int depth;              // 0 for the outermost file
    int command_count = 0;  // command lines finished so far: "line #%d" in messages
    uint32_t ack_count = 0;
};

// How a command line ends.
enum class LineEnd {
    go_on,              // next line
    failure_go_on,      // failure mark set, next line
    failure_stop,       // failure mark set, the run ends now
    stop,               // the run ends now without the failure mark
    quit,               // a test command failed under quit-on-failure: the run ends as a failure
};

// Deepest chain of F lines allowed, so a script that runs itself ends.
constexpr int MAX_SCRIPT_DEPTH = 16;

// Executes one command line.
LineEnd execute_line(ScriptRun& run, const ScriptLine& line);

// Runs a file as part of `parent` (an F line); depth is the parent's plus one.
int run_nested_script(ScriptRun& parent, const char* path);

// The shared failure messages.
LineEnd format_error(const ScriptRun& run, const ScriptLine& line);
LineEnd not_built_yet(const ScriptRun& run, const ScriptLine& line);
