// The window's next-step lines and the kit README's failure table, which
// tells the technician the same.

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>

#include "core/next_step.h"

namespace ndx {
namespace {

// The cells of a Markdown table row, trimmed; none for any other line.
std::vector<std::string> cells(const std::string& line)
{
    std::vector<std::string> out;
    if (line.size() < 2 || line.front() != '|' || line.back() != '|') return out;
    std::istringstream row(line.substr(1, line.size() - 2));
    std::string cell;
    while (std::getline(row, cell, '|')) {
        const std::size_t first = cell.find_first_not_of(' ');
        const std::size_t last = cell.find_last_not_of(' ');
        out.push_back(first == std::string::npos ? "" : cell.substr(first, last - first + 1));
    }
    return out;
}

// The README's table: failed step to its quoted next-step line.
std::map<std::string, std::string> readmeTable()
{
    std::ifstream in(KIT_README);
    std::map<std::string, std::string> table;
    std::string line;
    bool inTable = false;
    while (std::getline(in, line)) {
        const std::vector<std::string> row = cells(line);
        if (row.size() == 3 && row[1] == "failed step") inTable = true;
        if (!inTable || row.size() != 3 || row[1] == "failed step" || row[1].rfind("---", 0) == 0) {
            if (inTable && row.empty()) break;
            continue;
        }
        const std::string& quoted = row[2];
        table[row[1]] = quoted.size() >= 2 ? quoted.substr(1, quoted.size() - 2) : quoted;
    }
    return table;
}

TEST(NextStep, KitReadmeSaysTheSame)
{
    const std::map<std::string, std::string> readme = readmeTable();
    ASSERT_FALSE(readme.empty()) << "no failure table in " << KIT_README;
    std::map<std::string, std::string> code;
    for (const NextStep& step : nextSteps()) code[step.stage] = step.line;
    EXPECT_EQ(readme, code);
}

TEST(NextStep, LinesFitTheLog)
{
    for (const NextStep& step : nextSteps()) {
        SCOPED_TRACE(step.stage);
        EXPECT_EQ(std::string(step.line).rfind("Next step: ", 0), 0u);
        // Read in the log without scrolling sideways.
        EXPECT_LE(std::string(step.line).size(), 92u);
    }
    // A stage that has no row (a batch's "start") gives no line at all.
    EXPECT_EQ(nextStepLine("start"), "");
}

}  // namespace
}  // namespace ndx
