#pragma once

#include <cstdint>

// Reads an integer in C notation the way the 32-bit tools always have:
// decimal, 0x hexadecimal or leading-zero octal, optional sign, leading blanks
// skipped. Values beyond the signed 32-bit range saturate at INT32_MAX or
// INT32_MIN. `end` (optional) receives the first character not used; when no
// digit was read it points at `text` and the result is 0.
int32_t read_c_number(const char* text, const char** end = nullptr);

// Same, with an explicit base (0 = C notation, 10, 16 ...), for callers that
// need one fixed base with the same saturation.
int32_t read_number_base(const char* text, int base, const char** end = nullptr);
