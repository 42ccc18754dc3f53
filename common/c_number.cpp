#include "c_number.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

int32_t read_number_base(const char* text, int base, const char** end) {
    char* stop = nullptr;
    errno = 0;
    long long value = std::strtoll(text, &stop, base);
    if (end) *end = stop;
    if (value > INT32_MAX) return INT32_MAX;
    if (value < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(value);
}

int32_t read_c_number(const char* text, const char** end) { return read_number_base(text, 0, end); }
