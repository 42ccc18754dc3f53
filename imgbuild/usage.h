#pragma once

#include <string>

// The usage text, headed by the program's invocation name.
void append_usage(std::string& log, const char* program_name);
