#include "log_tail.h"

#include "run_and_wait.h"

namespace ndx {

void LogTail::add(const std::string& text)
{
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find('\n', start);
        lines_.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (lines_.size() > limit_) lines_.pop_front();
        if (end == std::string::npos) break;
        start = end + 1;
    }
}

std::string LogTail::text() const
{
    std::string joined;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        if (i > 0) joined += '\n';
        joined += lines_[i];
    }
    return joined;
}

void TailedChildOutput::childLine(const std::string& child, const std::string& line)
{
    tail_.add(labelledChildLine(child, line));
    if (inner_) inner_->childLine(child, line);
}

}  // namespace ndx
