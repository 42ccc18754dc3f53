// The include rules of ARCHITECTURE.md hold for the product's sources, and
// the check finds each kind of broken rule in a small tree of its own.

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "include_rules.h"

namespace {

namespace fs = std::filesystem;

const std::string kMarker = "<!-- include rules: docs/tests/layering_test.cpp reads this table -->";

std::string fileText(const fs::path& path)
{
    std::ifstream in(path);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeFile(const fs::path& path, const std::string& text)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path) << text;
}

std::string lines(const std::vector<std::string>& items)
{
    std::string text;
    for (const std::string& item : items) text += item + "\n";
    return text;
}

TEST(Layering, TheProductKeepsTheIncludeRulesOfArchitectureMd)
{
    std::vector<docs::AreaRule> rules;
    std::string error;
    ASSERT_TRUE(docs::readIncludeRules(fileText(fs::path(SOURCE_DIR) / "ARCHITECTURE.md"), kMarker, rules, error))
        << error;
    const std::vector<std::string> broken = docs::checkIncludes(SOURCE_DIR, rules, QT_INCLUDE_ROOT);
    EXPECT_TRUE(broken.empty()) << "Includes that break ARCHITECTURE.md's rules:\n" << lines(broken);
}

// A rule that names a folder no longer there, or an area it does not define,
// would check nothing.
TEST(Layering, EveryRuleNamesAnAreaThatExists)
{
    std::vector<docs::AreaRule> rules;
    std::string error;
    ASSERT_TRUE(docs::readIncludeRules(fileText(fs::path(SOURCE_DIR) / "ARCHITECTURE.md"), kMarker, rules, error))
        << error;
    for (const docs::AreaRule& rule : rules) {
        const fs::path path = fs::path(SOURCE_DIR) / rule.area;
        EXPECT_TRUE(fs::is_directory(path) || fs::exists(path.string() + ".h") || fs::exists(path.string() + ".cpp"))
            << rule.area;
        for (const std::string& used : rule.mayUse)
            EXPECT_TRUE(std::any_of(rules.begin(), rules.end(), [&](const auto& r) { return r.area == used; }))
                << rule.area << " may include " << used << ", which has no rule of its own";
    }
}

const std::string kRules = kMarker + R"(
| area | may include | Qt |
| --- | --- | --- |
| `lib/low` | nothing | none |
| `lib/high` | `lib/low` | `QtCore` |
| `lib/high/entry` | `lib/high`, `lib/low` | `QtCore`, `QtWidgets` |
)";

struct TreeCase {
    const char* name;
    const char* file;
    const char* text;
    const char* broken;  // the one line the check must give; empty: none
};

const TreeCase kTreeCases[] = {
    {"own folder", "lib/low/a.cpp", "#include \"a.h\"\n", ""},
    {"a lower area through the program's top", "lib/high/b.cpp", "#include <vector>\n#include \"low/a.h\"\n", ""},
    {"a lower area by a relative path", "lib/high/c.cpp", "#include \"../low/a.h\"\n", ""},
    {"a file area above its folder", "lib/high/d.cpp", "  #  include \"entry.h\"\n",
     "lib/high/d.cpp:1: includes lib/high/entry.h (lib/high/entry): lib/high may include only lib/low"},
    {"upward", "lib/low/e.cpp", "// low\n#include \"high/b.h\"\n",
     "lib/low/e.cpp:2: includes lib/high/b.h (lib/high): lib/low may include only its own files"},
    {"no part of the product", "lib/low/f.cpp", "#include \"../../testbed/sim.h\"\n",
     "lib/low/f.cpp:1: includes testbed/sim.h, which is no part of the product"},
    {"a test's file in the area's folder", "lib/low/l.cpp", "#include \"tests/t.h\"\n",
     "lib/low/l.cpp:1: includes lib/low/tests/t.h, which is no part of the product"},
    {"a file of no area", "lib/high/m.cpp", "#include \"../extra/table.inc\"\n",
     "lib/high/m.cpp:1: includes lib/extra/table.inc, which lies in no area of the include rules"},
    {"nowhere", "lib/high/g.cpp", "#include \"gone.h\"\n",
     "lib/high/g.cpp:1: includes \"gone.h\", which is nowhere in the source tree"},
    {"a Qt module not allowed", "lib/high/h.cpp", "#include <QString>\n#include <QWidget>\n",
     "lib/high/h.cpp:2: includes <QWidget> (QtWidgets): lib/high may use only QtCore"},
    {"a Qt module by its folder", "lib/low/i.cpp", "#include <QtCore/QString>\n",
     "lib/low/i.cpp:1: includes <QtCore/QString> (QtCore): lib/low may use no Qt"},
    {"Qt allowed in the file area", "lib/high/entry.cpp", "#include <QWidget>\n#include \"b.h\"\n", ""},
    {"a folder of no area", "lib/extra/j.cpp", "", "lib/extra/j.cpp: lies in no area of the include rules"},
    {"tests reach anything", "lib/low/tests/k.cpp", "#include \"high/b.h\"\n#include <QWidget>\n", ""},
};

TEST(Layering, TheCheckFindsEachKindOfBrokenRule)
{
    std::vector<docs::AreaRule> rules;
    std::string error;
    ASSERT_TRUE(docs::readIncludeRules(kRules, kMarker, rules, error)) << error;
    const fs::path root = fs::temp_directory_path() / ("layering_test." + std::to_string(::getpid()));
    for (const TreeCase& c : kTreeCases) {
        fs::remove_all(root);
        writeFile(root / "lib/low/a.h", "");
        writeFile(root / "lib/high/b.h", "");
        writeFile(root / "lib/high/entry.h", "");
        writeFile(root / "testbed/sim.h", "");
        writeFile(root / "lib/low/tests/t.h", "");
        writeFile(root / "lib/extra/table.inc", "");
        writeFile(root / "qt/QtCore/QString", "");
        writeFile(root / "qt/QtWidgets/QWidget", "");
        writeFile(root / c.file, c.text);
        const std::vector<std::string> broken = docs::checkIncludes(root.string(), rules, (root / "qt").string());
        const std::vector<std::string> expected =
            *c.broken ? std::vector<std::string>{c.broken} : std::vector<std::string>{};
        EXPECT_EQ(broken, expected) << c.name;
    }
    fs::remove_all(root);
}

TEST(Layering, AMissingOrMalformedTableIsAnError)
{
    const struct {
        const char* name;
        std::string text;
    } cases[] = {
        {"no marker", "| `a` | nothing | none |\n"},
        {"no rows", kMarker + "\n| area | may include | Qt |\n| --- | --- | --- |\n\ntext\n"},
        {"two cells", kMarker + "\n| area | may include | Qt |\n| --- | --- | --- |\n| `a` | nothing |\n"},
        {"no area", kMarker + "\n| area | may include | Qt |\n| --- | --- | --- |\n| a | nothing | none |\n"},
    };
    for (const auto& c : cases) {
        std::vector<docs::AreaRule> rules;
        std::string error;
        EXPECT_FALSE(docs::readIncludeRules(c.text, kMarker, rules, error)) << c.name;
        EXPECT_FALSE(error.empty()) << c.name;
    }
}

}  // namespace
