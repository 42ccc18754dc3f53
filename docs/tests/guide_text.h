#pragma once
// What the documentation tests read in a guide (a markdown file): the
// command blocks marked to be run, with the output each command shows, and
// the links.
//
// A runnable block is a fenced code block right after the line
// `<!-- run in DIR -->`. Each line that begins with "$ " is a command (a
// line ending in a backslash goes on on the next line); the lines after it,
// up to the next command, are what it prints on standard output. A line of
// the shown output matches a printed line letter for letter, except that
// "…" stands for any text; a line that is only "…" stands for any number of
// lines. A command that shows no output has its output left unchecked.

#include <string>
#include <vector>

namespace docs {

struct GuideCommand {
    int line = 0;                       // of the "$ " line, counted from 1
    std::string text;                   // without the "$ "
    std::vector<std::string> output;    // as the guide shows it
};

struct RunnableBlock {
    int line = 0;        // of the marker
    std::string folder;  // DIR of the marker
    std::vector<GuideCommand> commands;
};

// False with `error` ("LINE: reason") for a marker that is not
// `<!-- run in DIR -->`, one not followed by a fenced block, a block that
// does not end or holds no command, or output before the first command.
bool readRunnableBlocks(const std::string& markdown, std::vector<RunnableBlock>& blocks, std::string& error);

// Whether the printed lines are what the guide shows (see above). Trailing
// blanks of a line and trailing empty lines count for nothing.
bool outputMatches(const std::vector<std::string>& shown, const std::vector<std::string>& printed);

struct GuideLink {
    int line = 0;
    std::string target;  // as written: "docs/factory.md#history", "#install"
};

// The inline links and images outside code blocks and code spans.
std::vector<GuideLink> readLinks(const std::string& markdown);

// The anchors of the headings, as the usual renderers make them: lower
// case, spaces to hyphens, punctuation left out.
std::vector<std::string> headingAnchors(const std::string& markdown);

std::vector<std::string> splitLines(const std::string& text);

}  // namespace docs
