#pragma once

#include <string>
#include <vector>

// Result of running a program to its end.
struct ProgramRun {
    std::string output;  // everything it wrote on standard output
    int status = -1;     // its exit status (0..255), -1 when it did not exit normally
};

// Runs `program` with `arguments` (argv[0] is the program path), feeding
// `input` on standard input; kills it after `timeout_seconds`.
ProgramRun run_program(const std::string& program, const std::vector<std::string>& arguments,
                       const std::string& input = "", int timeout_seconds = 20);

// The exit status a negative return from main becomes.
inline int exit_status_of(int code) { return code & 0xFF; }
