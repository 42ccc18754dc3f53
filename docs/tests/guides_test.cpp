// The guides' links lead somewhere and their marked blocks can be run; how
// the guide test reads a guide: marked blocks, shown output, links, anchors.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "guide_text.h"

namespace {

namespace fs = std::filesystem;

std::string fileText(const fs::path& path)
{
    std::ifstream in(path);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<fs::path> guides()
{
    std::vector<fs::path> paths;
    std::stringstream list(GUIDES);
    for (std::string path; std::getline(list, path, '|');) paths.push_back(path);
    return paths;
}

std::string inSource(const fs::path& path)
{
    return path.lexically_relative(SOURCE_DIR).generic_string();
}

TEST(Guides, EveryLinkLeadsToAFileOrHeadingThatExists)
{
    ASSERT_GE(guides().size(), 6u);
    for (const fs::path& guide : guides()) {
        const std::string text = fileText(guide);
        for (const docs::GuideLink& link : docs::readLinks(text)) {
            const std::string& target = link.target;
            if (target.rfind("http://", 0) == 0 || target.rfind("https://", 0) == 0 || target.rfind("mailto:", 0) == 0)
                continue;
            const std::string where = inSource(guide) + ":" + std::to_string(link.line) + ": " + target;
            const std::size_t hash = target.find('#');
            const std::string path = target.substr(0, hash);
            const fs::path file = path.empty() ? guide : (guide.parent_path() / path).lexically_normal();
            EXPECT_TRUE(fs::exists(file)) << where << " leads nowhere";
            if (hash == std::string::npos || !fs::is_regular_file(file)) continue;
            const std::vector<std::string> anchors = docs::headingAnchors(fileText(file));
            EXPECT_NE(std::find(anchors.begin(), anchors.end(), target.substr(hash + 1)), anchors.end())
                << where << ": " << inSource(file) << " has no such heading";
        }
    }
}

TEST(Guides, EveryMarkedBlockCanBeRun)
{
    for (const fs::path& guide : guides()) {
        std::vector<docs::RunnableBlock> blocks;
        std::string error;
        EXPECT_TRUE(docs::readRunnableBlocks(fileText(guide), blocks, error)) << inSource(guide) << ":" << error;
    }
}

const std::string kEllipsis = "\xE2\x80\xA6";

TEST(GuideText, ShownOutputMatchesWhatIsPrinted)
{
    using Lines = std::vector<std::string>;
    const struct {
        const char* name;
        Lines shown;
        Lines printed;
        bool matches;
    } cases[] = {
        {"the same lines", {"a", "b"}, {"a", "b"}, true},
        {"a line missing", {"a", "b"}, {"a"}, false},
        {"a line more", {"a"}, {"a", "b"}, false},
        {"another letter", {"Upgrade Fail"}, {"Upgrade fail"}, false},
        {"trailing blanks and empty lines", {"a  ", ""}, {"a", "", ""}, true},
        {"an ellipsis for any text", {"ok  1.3.2  " + kEllipsis + " s"}, {"ok  1.3.2  1.2 s"}, true},
        {"an ellipsis for no text", {"a" + kEllipsis + "b"}, {"ab"}, true},
        {"the text around an ellipsis is kept", {"ok " + kEllipsis + " s"}, {"ok 1.2 ms!"}, false},
        {"ellipses in order", {kEllipsis + "x" + kEllipsis + "y" + kEllipsis}, {"y x"}, false},
        {"an ellipsis line for lines", {"a", kEllipsis, "z"}, {"a", "b", "c", "z"}, true},
        {"an ellipsis line for no line", {"a", kEllipsis, "z"}, {"a", "z"}, true},
        {"an ellipsis line keeps the order", {"a", kEllipsis, "z"}, {"z", "a"}, false},
        {"an ellipsis line and a line after it", {kEllipsis, "last"}, {"x", "last", "more"}, false},
        {"only an ellipsis line", {kEllipsis}, {}, true},
    };
    for (const auto& c : cases) EXPECT_EQ(docs::outputMatches(c.shown, c.printed), c.matches) << c.name;
}

TEST(GuideText, MarkedBlocksGiveTheirCommandsAndOutput)
{
    const std::string text = "Intro\n"
                             "\n"
                             "    $ an indented block is never run\n"
                             "<!-- run in kit/Tool -->\n"
                             "```console\n"
                             "$ first --option \\\n"
                             "    --more\n"
                             "line one\n"
                             "\n"
                             "$ second\n"
                             "```\n"
                             "```\n"
                             "$ an unmarked block\n"
                             "```\n";
    std::vector<docs::RunnableBlock> blocks;
    std::string error;
    ASSERT_TRUE(docs::readRunnableBlocks(text, blocks, error)) << error;
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(blocks[0].folder, "kit/Tool");
    EXPECT_EQ(blocks[0].line, 4);
    ASSERT_EQ(blocks[0].commands.size(), 2u);
    EXPECT_EQ(blocks[0].commands[0].text, "first --option \\\n    --more");
    EXPECT_EQ(blocks[0].commands[0].line, 6);
    EXPECT_EQ(blocks[0].commands[0].output, std::vector<std::string>{"line one"});
    EXPECT_EQ(blocks[0].commands[1].text, "second");
    EXPECT_TRUE(blocks[0].commands[1].output.empty());
}

TEST(GuideText, AMalformedMarkedBlockIsAnError)
{
    const struct {
        const char* name;
        const char* text;
        const char* error;
    } cases[] = {
        {"no folder", "<!-- run -->\n```\n$ a\n```\n", "1: a marker reads"},
        {"no block", "<!-- run in kit -->\ntext\n", "1: the marker is not followed"},
        {"an indented block", "<!-- run in kit -->\n    $ a\n", "1: the marker is not followed"},
        {"no end", "<!-- run in kit -->\n```\n$ a\n", "1: the block does not end"},
        {"no command", "<!-- run in kit -->\n```\na\n```\n", "3: output before the first command"},
        {"empty", "<!-- run in kit -->\n```\n```\n", "1: the block holds no command"},
    };
    for (const auto& c : cases) {
        std::vector<docs::RunnableBlock> blocks;
        std::string error;
        EXPECT_FALSE(docs::readRunnableBlocks(c.text, blocks, error)) << c.name;
        EXPECT_EQ(error.rfind(c.error, 0), 0u) << c.name << ": " << error;
    }
}

TEST(GuideText, LinksOutsideCodeAndTheAnchorsOfHeadings)
{
    const std::string text = "# The kit's `Tool/` folder\n"
                             "See [the guide](docs/factory.md#a-batch) and ![a picture](shot.png \"title\").\n"
                             "`[not](a-link.md)` and [`code`](code.md)\n"
                             "    [indented](code-block.md)\n"
                             "```\n"
                             "[fenced](fenced.md)\n"
                             "## Exit status, 0 to 2\n"
                             "```\n"
                             "## Exit status, 0 to 2\n";
    std::vector<std::string> targets;
    for (const docs::GuideLink& link : docs::readLinks(text)) targets.push_back(link.target);
    EXPECT_EQ(targets, (std::vector<std::string>{"docs/factory.md#a-batch", "shot.png", "code.md"}));
    EXPECT_EQ(docs::headingAnchors(text), (std::vector<std::string>{"the-kits-tool-folder", "exit-status-0-to-2"}));
}

}  // namespace
