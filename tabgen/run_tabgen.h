#pragma once

#include <string>

// Exit code of a usage error (no or several outputs, bad verbosity, a -f path
// that does not fit).
constexpr int exit_usage = -1;

// One run of the parameter compiler. Standard output and standard error are
// collected into `out` and `err`, so nothing reaches the console before the
// whole parameter file has been read. Returns the process exit code.
int run_tabgen(int argc, char* const* argv, std::string& out, std::string& err);

std::string usage_text(const char* program_name);
