#include "guide_text.h"

#include <cctype>
#include <regex>

namespace docs {

namespace {

const std::string kEllipsis = "\xE2\x80\xA6";  // "…"

std::string withoutTrailingBlanks(std::string text)
{
    text.erase(text.find_last_not_of(" \t\r") + 1);
    return text;
}

std::string trimmed(const std::string& text)
{
    const auto first = text.find_first_not_of(" \t");
    return first == std::string::npos ? "" : withoutTrailingBlanks(text.substr(first));
}

// "```" or "~~~" and longer, with or without an info string.
std::string fenceOf(const std::string& line)
{
    const std::string t = trimmed(line);
    if (t.rfind("```", 0) != 0 && t.rfind("~~~", 0) != 0) return "";
    return t.substr(0, t.find_first_not_of(t[0]));
}

bool closesFence(const std::string& line, const std::string& fence)
{
    const std::string t = trimmed(line);
    return t.rfind(fence, 0) == 0 && t.find_first_not_of(fence[0]) == std::string::npos;
}

std::vector<std::string> normalised(std::vector<std::string> lines)
{
    for (std::string& line : lines) line = withoutTrailingBlanks(line);
    while (!lines.empty() && lines.back().empty()) lines.pop_back();
    return lines;
}

bool lineMatches(const std::string& pattern, const std::string& text)
{
    std::vector<std::string> pieces;
    for (std::size_t at = 0;;) {
        const std::size_t next = pattern.find(kEllipsis, at);
        pieces.push_back(pattern.substr(at, next == std::string::npos ? std::string::npos : next - at));
        if (next == std::string::npos) break;
        at = next + kEllipsis.size();
    }
    if (pieces.size() == 1) return pattern == text;
    if (text.compare(0, pieces.front().size(), pieces.front()) != 0) return false;
    std::size_t at = pieces.front().size();
    for (std::size_t i = 1; i + 1 < pieces.size(); ++i) {
        at = text.find(pieces[i], at);
        if (at == std::string::npos) return false;
        at += pieces[i].size();
    }
    const std::string& last = pieces.back();
    return text.size() >= at + last.size() && text.compare(text.size() - last.size(), last.size(), last) == 0;
}

// A line of an indented code block (the guides indent list text by two).
bool isIndentedCode(const std::string& line)
{
    return line.rfind("    ", 0) == 0 || line.rfind("\t", 0) == 0;
}

std::string withoutCodeSpans(const std::string& line)
{
    std::string text;
    bool inSpan = false;
    for (char c : line) {
        if (c == '`') inSpan = !inSpan;
        else if (!inSpan) text += c;
    }
    return text;
}

}  // namespace

std::vector<std::string> splitLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t at = 0;
    for (std::size_t end; (end = text.find('\n', at)) != std::string::npos; at = end + 1)
        lines.push_back(text.substr(at, end - at));
    if (at < text.size()) lines.push_back(text.substr(at));
    return lines;
}

bool readRunnableBlocks(const std::string& markdown, std::vector<RunnableBlock>& blocks, std::string& error)
{
    static const std::regex marker(R"(<!-- run in (\S+) -->)");
    const std::vector<std::string> lines = splitLines(markdown);
    blocks.clear();
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string t = trimmed(lines[i]);
        if (t.rfind("<!-- run", 0) != 0) continue;
        const std::string where = std::to_string(i + 1) + ": ";
        std::smatch m;
        if (!std::regex_match(t, m, marker)) {
            error = where + "a marker reads <!-- run in DIR -->, not " + t;
            return false;
        }
        RunnableBlock block{int(i + 1), m[1], {}};
        std::size_t k = i + 1;
        while (k < lines.size() && trimmed(lines[k]).empty()) ++k;
        const std::string fence = k < lines.size() ? fenceOf(lines[k]) : "";
        if (fence.empty()) {
            error = where + "the marker is not followed by a fenced code block";
            return false;
        }
        for (++k; k < lines.size() && !closesFence(lines[k], fence); ++k) {
            const std::string line = withoutTrailingBlanks(lines[k]);
            if (line.rfind("$ ", 0) == 0) {
                GuideCommand command{int(k + 1), line.substr(2), {}};
                while (!command.text.empty() && command.text.back() == '\\' && k + 1 < lines.size() &&
                       !closesFence(lines[k + 1], fence))
                    command.text += "\n" + withoutTrailingBlanks(lines[++k]);
                block.commands.push_back(command);
            } else if (!block.commands.empty()) {
                block.commands.back().output.push_back(line);
            } else if (!line.empty()) {
                error = std::to_string(k + 1) + ": output before the first command (commands begin with \"$ \")";
                return false;
            }
        }
        if (k == lines.size()) {
            error = where + "the block does not end";
            return false;
        }
        if (block.commands.empty()) {
            error = where + "the block holds no command (commands begin with \"$ \")";
            return false;
        }
        for (GuideCommand& command : block.commands) command.output = normalised(command.output);
        blocks.push_back(block);
        i = k;
    }
    return true;
}

bool outputMatches(const std::vector<std::string>& shownLines, const std::vector<std::string>& printedLines)
{
    const std::vector<std::string> shown = normalised(shownLines);
    const std::vector<std::string> printed = normalised(printedLines);
    // matches[i][j]: shown lines from i on match printed lines from j on.
    std::vector<std::vector<char>> matches(shown.size() + 1, std::vector<char>(printed.size() + 1, 0));
    matches[shown.size()][printed.size()] = 1;
    for (std::size_t i = shown.size(); i-- > 0;)
        for (std::size_t j = printed.size() + 1; j-- > 0;) {
            if (shown[i] == kEllipsis)
                matches[i][j] = matches[i + 1][j] || (j < printed.size() && matches[i][j + 1]);
            else
                matches[i][j] = j < printed.size() && lineMatches(shown[i], printed[j]) && matches[i + 1][j + 1];
        }
    return matches[0][0];
}

std::vector<GuideLink> readLinks(const std::string& markdown)
{
    static const std::regex link(R"(\]\(([^)\s]+)(\s+"[^"]*")?\))");
    std::vector<GuideLink> links;
    std::string fence;
    const std::vector<std::string> lines = splitLines(markdown);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (!fence.empty()) {
            if (closesFence(lines[i], fence)) fence.clear();
            continue;
        }
        fence = fenceOf(lines[i]);
        if (!fence.empty() || isIndentedCode(lines[i])) continue;
        const std::string text = withoutCodeSpans(lines[i]);
        for (std::sregex_iterator m(text.begin(), text.end(), link), end; m != end; ++m)
            links.push_back({int(i + 1), (*m)[1]});
    }
    return links;
}

std::vector<std::string> headingAnchors(const std::string& markdown)
{
    std::vector<std::string> anchors;
    std::string fence;
    for (const std::string& line : splitLines(markdown)) {
        if (!fence.empty()) {
            if (closesFence(line, fence)) fence.clear();
            continue;
        }
        fence = fenceOf(line);
        if (!fence.empty() || line.empty() || line[0] != '#') continue;
        const std::string title = trimmed(line.substr(line.find_first_not_of('#')));
        std::string anchor;
        for (unsigned char c : title) {
            if (std::isalnum(c)) anchor += char(std::tolower(c));
            else if (c == ' ' || c == '-') anchor += '-';
            else if (c == '_') anchor += '_';
        }
        anchors.push_back(anchor);
    }
    return anchors;
}

}  // namespace docs
