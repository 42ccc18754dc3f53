#include "messages.h"

#include <cstdarg>
#include <cstdio>

void Messages::report(int min_level, const char* format, ...) {
    if (verbosity < min_level) return;
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int length = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (length > 0) {
        std::string piece(static_cast<size_t>(length) + 1, '\0');
        std::vsnprintf(piece.data(), piece.size(), format, args);
        piece.resize(static_cast<size_t>(length));
        text += piece;
    }
    va_end(args);
}
