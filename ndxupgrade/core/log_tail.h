#pragma once
// The last lines of an operation's logs, for its record in the history:
// the log memo's lines and the children's output in the order they came.

#include <cstddef>
#include <deque>
#include <string>

#include "seams.h"

namespace ndx {

class LogTail {
public:
    explicit LogTail(std::size_t limit = 50) : limit_(limit) {}
    // A text that holds line breaks counts as that many lines.
    void add(const std::string& text);
    // The lines kept, joined by line breaks.
    std::string text() const;

private:
    std::size_t limit_;
    std::deque<std::string> lines_;
};

// A log memo whose lines the tail sees too.
class TailedLog : public LogMemo {
public:
    TailedLog(LogMemo& inner, LogTail& tail) : inner_(inner), tail_(tail) {}
    void addLine(const std::string& line) override
    {
        tail_.add(line);
        inner_.addLine(line);
    }

private:
    LogMemo& inner_;
    LogTail& tail_;
};

// The children's output, seen by the tail with each child's name in front.
class TailedChildOutput : public ChildOutput {
public:
    TailedChildOutput(ChildOutput* inner, LogTail& tail) : inner_(inner), tail_(tail) {}
    void childStarted(const std::string& child) override
    {
        if (inner_) inner_->childStarted(child);
    }
    void childLine(const std::string& child, const std::string& line) override;
    void childEnded(const std::string& child, int code) override
    {
        if (inner_) inner_->childEnded(child, code);
    }

private:
    ChildOutput* inner_;
    LogTail& tail_;
};

}  // namespace ndx
