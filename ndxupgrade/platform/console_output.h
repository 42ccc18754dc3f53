#pragma once
// Headless stand-ins for the memos and the message boxes: one line each on
// standard output; the children's output and their reasons for a failed step
// on standard error.

#include <cstdio>

#include "../core/seams.h"

namespace ndx {

class ConsoleMemo : public LogMemo {
public:
    void addLine(const std::string& line) override;
};

class ConsoleMessageBoxes : public MessageBoxes {
public:
    explicit ConsoleMessageBoxes(std::FILE* stream = stdout) : stream_(stream) {}
    void show(const std::string& caption, const std::string& text, BoxIcon icon) override;

private:
    std::FILE* stream_;
};

// Lines on standard error.
class ErrorStreamMemo : public LogMemo {
public:
    void addLine(const std::string& line) override;
};

// Every child line on standard error, with the child's name in front.
class ErrorStreamChildOutput : public ChildOutput {
public:
    void childLine(const std::string& child, const std::string& line) override;
};

}  // namespace ndx
