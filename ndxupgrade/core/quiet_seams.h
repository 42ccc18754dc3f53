#pragma once
// Message boxes and log lines that fall silent once the run is being ended
// (a stop signal, or Exit in the middle of a procedure): the procedure then
// unwinds without asking anyone, and the steps it was stopped in are not
// reported as failures of their own.

#include <functional>
#include <string>

#include "seams.h"

namespace ndx {

using QuietWhen = std::function<bool()>;

class QuietBoxes : public MessageBoxes {
public:
    QuietBoxes(MessageBoxes& inner, QuietWhen quiet) : inner_(inner), quiet_(std::move(quiet)) {}
    void show(const std::string& caption, const std::string& text, BoxIcon icon) override
    {
        if (!quiet_()) inner_.show(caption, text, icon);
    }
    bool ask(const std::string& caption, const std::string& text) override
    {
        return !quiet_() && inner_.ask(caption, text);
    }

private:
    MessageBoxes& inner_;
    QuietWhen quiet_;
};

class QuietLog : public LogMemo {
public:
    QuietLog(LogMemo& inner, QuietWhen quiet) : inner_(inner), quiet_(std::move(quiet)) {}
    void addLine(const std::string& line) override
    {
        if (!quiet_()) inner_.addLine(line);
    }

private:
    LogMemo& inner_;
    QuietWhen quiet_;
};

}  // namespace ndx
