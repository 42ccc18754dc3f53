#include "console_output.h"

#include <cstdio>

#include "../core/run_and_wait.h"

namespace ndx {

void ConsoleMemo::addLine(const std::string& line)
{
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

void ConsoleMessageBoxes::show(const std::string&, const std::string& text, BoxIcon)
{
    // Some box texts end in a line break of their own.
    if (stream_ != stdout) std::fflush(stdout);
    std::fprintf(stream_, "%s%s", text.c_str(), !text.empty() && text.back() == '\n' ? "" : "\n");
    std::fflush(stream_);
}

void ErrorStreamMemo::addLine(const std::string& line)
{
    std::fflush(stdout);
    std::fprintf(stderr, "%s\n", line.c_str());
}

void ErrorStreamChildOutput::childLine(const std::string& child, const std::string& line)
{
    std::fflush(stdout);
    std::fprintf(stderr, "%s\n", labelledChildLine(child, line).c_str());
}

}  // namespace ndx
