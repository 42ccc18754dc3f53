#pragma once
// The include rules of ARCHITECTURE.md as data, and the check of a source
// tree against them. ARCHITECTURE.md holds them as a table (one row per
// area: what it may include, which Qt modules it may use), so that the
// rules a developer reads are the rules the layering test enforces.

#include <string>
#include <vector>

namespace docs {

struct AreaRule {
    std::string area;                  // "hostlink/link" (a folder) or "ndxupgrade/headless" (files headless.*)
    std::vector<std::string> mayUse;   // other areas it may include
    std::vector<std::string> qtModules;  // "QtCore", "QtSql", ...; empty: no Qt at all
};

// Reads the table that follows the line `marker` in a markdown text. False
// with `error` when there is no such table or a row is malformed.
bool readIncludeRules(const std::string& markdown, const std::string& marker, std::vector<AreaRule>& rules,
                      std::string& error);

// Checks every .h and .cpp of the areas' top folders (folders named "tests"
// or "*_tests" left out: tests may reach anything) under `sourceRoot`. Each
// quoted include is found as the compiler would (the including file's folder,
// the top folder of its program, common/) and must lie in the file's own
// area or in one the rule names. Angle includes of Qt headers are looked up
// under `qtIncludeRoot` to name their module. Returns one line per broken
// rule: "FILE:LINE: includes X (AREA): RULE".
std::vector<std::string> checkIncludes(const std::string& sourceRoot, const std::vector<AreaRule>& rules,
                                       const std::string& qtIncludeRoot);

}  // namespace docs
