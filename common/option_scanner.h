#pragma once

// Single-letter option scanner shared by the console programs. Options start
// with '-' or '/', letters without an argument may be grouped ("-wc"), and an
// argument either follows its letter directly ("-v2") or is the next element
// ("-v 2"). An element that is exactly "-" or "--" ends the options and is
// consumed; the first element that starts with neither sign ends them and is
// left for the caller. The scanner prints nothing: each program decides what
// an unknown letter or a missing argument means.
class OptionScanner {
public:
    // What next() returns besides an option letter.
    static constexpr int end = -1;
    static constexpr int unknown_letter = '?';
    static constexpr int missing_argument = ':';

    OptionScanner(int argc, char* const* argv, const char* option_string);

    // The next option letter, unknown_letter, missing_argument or end.
    int next();

    // Argument of the option last returned (nullptr for a flag).
    const char* argument() const { return argument_; }
    // The offending letter after unknown_letter or missing_argument.
    int bad_letter() const { return bad_letter_; }
    // Index of the first element not consumed as an option.
    int index() const { return index_; }

private:
    int argc_;
    char* const* argv_;
    const char* option_string_;
    int index_ = 1;
    int position_ = 0;  // position inside a group of letters, 0 = at a new element
    const char* argument_ = nullptr;
    int bad_letter_ = 0;
};
