#pragma once

#include <string>

// Collects the standard-error messages of one run, filtered by the verbosity
// the user chose with -v. Keeping them in a string lets the reader run without
// a console (tests, fuzzing); the program prints them when the run ends.
struct Messages {
    int verbosity = 0;
    std::string text;

    // Appends the formatted message when verbosity >= min_level; level 0 means
    // always.
    void report(int min_level, const char* format, ...) __attribute__((format(printf, 3, 4)));
};
