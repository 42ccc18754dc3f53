#pragma once

#include <string>

// Everything imgbuild reports goes to standard error; the builder collects it
// here in order so that a run can be checked as one text.
#if defined(__GNUC__)
__attribute__((format(printf, 2, 3)))
#endif
void append_message(std::string& log, const char* format, ...);
