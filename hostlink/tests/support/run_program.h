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

// A program running with its standard input held open by the test, so that
// input can be given while it runs (a key for a waiting mode, say).
class RunningProgram {
public:
    // Starts `program` in `working_directory` (empty: the current one).
    RunningProgram(const std::string& program, const std::vector<std::string>& arguments,
                   const std::string& working_directory = "");
    ~RunningProgram();
    RunningProgram(const RunningProgram&) = delete;
    RunningProgram& operator=(const RunningProgram&) = delete;

    bool started() const { return pid_ > 0; }
    void write_input(const std::string& text);
    void close_input();
    // Closes the input, waits at most `timeout_seconds` for the end (then kills).
    ProgramRun finish(int timeout_seconds = 20);

private:
    int pid_ = -1;
    int input_ = -1;
    int output_ = -1;
    std::string collected_;
    void collect(int wait_ms);
};
