#pragma once
// Headless stand-ins for the memos and the message boxes: one line each on
// standard output.

#include "../core/seams.h"

namespace ndx {

class ConsoleMemo : public LogMemo {
public:
    void addLine(const std::string& line) override;
};

class ConsoleMessageBoxes : public MessageBoxes {
public:
    void show(const std::string& caption, const std::string& text, BoxIcon icon) override;
};

}  // namespace ndx
