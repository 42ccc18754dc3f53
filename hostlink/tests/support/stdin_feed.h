#pragma once

#include <string>

// Puts `text` on standard input (through a temporary file) for the lifetime of
// the object; the original standard input comes back afterwards. Reading past
// the text gives end of input.
class StdinFeed {
public:
    explicit StdinFeed(const std::string& text);
    ~StdinFeed();
    StdinFeed(const StdinFeed&) = delete;
    StdinFeed& operator=(const StdinFeed&) = delete;

private:
    int saved_stdin_ = -1;
};
