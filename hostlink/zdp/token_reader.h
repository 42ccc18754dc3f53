#pragma once

#include <cstddef>

// Splits a text into tokens the way the script formats expect: each call skips
// leading delimiters, takes characters up to the next delimiter, and consumes
// that one delimiter; the delimiter set may change from call to call. Works on
// a private copy, so the caller's text is never modified.
class TokenReader {
public:
    static constexpr int CAPACITY = 1024;

    explicit TokenReader(const char* text);

    // The next token, or nullptr when the text has run out.
    const char* next(const char* delimiters);
    // Everything after the last token's delimiter (possibly empty).
    const char* rest() const { return buffer_ + position_; }

private:
    char buffer_[CAPACITY + 1];
    std::size_t length_ = 0;
    std::size_t position_ = 0;
};
