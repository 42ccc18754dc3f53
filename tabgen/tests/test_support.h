#pragma once

#include <string>
#include <vector>

#include "messages.h"
#include "parameter_file_reader.h"

// A parameter text read in memory, with the messages it produced.
struct ReadOutcome {
    int status = 0;
    ParameterSet parameters;
    std::string messages;
};

inline ReadOutcome read_text(const std::string& text, int verbosity = 1) {
    ReadOutcome outcome;
    Messages messages{verbosity, {}};
    outcome.status = read_parameter_text(text, outcome.parameters, messages);
    outcome.messages = messages.text;
    return outcome;
}

inline std::vector<uint8_t> bytes_at(const ParameterImage& image, int offset, int count) {
    return {image.begin() + offset, image.begin() + offset + count};
}

// The result of running the real tabgen binary.
struct ProgramRun {
    int exit_code = 0;  // as a signed 8-bit value, the way the callers read it
    std::string out;
    std::string err;
};

// Runs tabgen with `arguments` (already shell-quoted) in a fresh directory that
// holds `prm_inf` as prm.inf when it is not empty.
ProgramRun run_tabgen_binary(const std::string& arguments, const std::string& prm_inf = {});

// A file with these contents in the test's scratch directory; returns its path.
std::string write_scratch_file(const std::string& name, const std::string& contents);

std::vector<std::string> split_lines(const std::string& text);
