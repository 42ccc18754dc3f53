#include "include_rules.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>

namespace docs {

namespace fs = std::filesystem;

namespace {

std::string trimmed(const std::string& text)
{
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// The `quoted` words of a table cell, in order.
std::vector<std::string> codeWords(const std::string& cell)
{
    std::vector<std::string> words;
    for (std::size_t open = cell.find('`'); open != std::string::npos; open = cell.find('`', open)) {
        const std::size_t close = cell.find('`', open + 1);
        if (close == std::string::npos) break;
        words.push_back(cell.substr(open + 1, close - open - 1));
        open = close + 1;
    }
    return words;
}

std::vector<std::string> tableCells(const std::string& line)
{
    std::vector<std::string> cells;
    std::string inner = trimmed(line);
    inner = inner.substr(1, inner.size() - (inner.back() == '|' ? 2 : 1));
    std::stringstream in(inner);
    for (std::string cell; std::getline(in, cell, '|');) cells.push_back(trimmed(cell));
    return cells;
}

std::string joined(const std::vector<std::string>& words)
{
    std::string text;
    for (const std::string& w : words) text += (text.empty() ? "" : ", ") + w;
    return text;
}

// Areas are folders ("hostlink/link": everything below it) or file stems
// ("ndxupgrade/headless": headless.h and headless.cpp); the longest match wins.
class AreaMap {
public:
    explicit AreaMap(const std::vector<AreaRule>& rules)
    {
        for (const AreaRule& rule : rules) rules_[rule.area] = &rule;
    }

    const AreaRule* areaOf(const std::string& path) const
    {
        const AreaRule* best = nullptr;
        for (const auto& [area, rule] : rules_) {
            const bool inside = path == area || (path.size() > area.size() && path.compare(0, area.size(), area) == 0 &&
                                                 (path[area.size()] == '/' || path[area.size()] == '.'));
            if (inside && (!best || area.size() > best->area.size())) best = rule;
        }
        return best;
    }

    std::set<std::string> topFolders() const
    {
        std::set<std::string> tops;
        for (const auto& [area, rule] : rules_) tops.insert(area.substr(0, area.find('/')));
        return tops;
    }

private:
    std::map<std::string, const AreaRule*> rules_;
};

// The Qt module whose include folder holds a header (<QWidget> is QtWidgets);
// empty for a header of no Qt module.
class QtModules {
public:
    explicit QtModules(const std::string& root)
    {
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(root, ec))
            if (entry.is_directory() && entry.path().filename().string().rfind("Qt", 0) == 0)
                modules_.push_back(entry.path());
        std::sort(modules_.begin(), modules_.end());
    }

    std::string moduleOf(const std::string& header) const
    {
        const std::size_t slash = header.find('/');
        if (header.rfind("Qt", 0) == 0 && slash != std::string::npos) return header.substr(0, slash);
        if (header.empty() || header[0] != 'Q') return "";
        std::error_code ec;
        for (const fs::path& module : modules_)
            if (fs::exists(module / header, ec)) return module.filename().string();
        return "";
    }

private:
    std::vector<fs::path> modules_;
};

bool isTestFolderName(const std::string& name)
{
    return name == "tests" || (name.size() > 6 && name.compare(name.size() - 6, 6, "_tests") == 0);
}

bool isTestFolder(const fs::path& folder)
{
    return isTestFolderName(folder.filename().string());
}

// A file below a test folder: tests are no part of the product, even inside
// an area's folder.
bool isTestFile(const std::string& path)
{
    const fs::path folder = fs::path(path).parent_path();
    return std::any_of(folder.begin(), folder.end(),
                       [](const fs::path& part) { return isTestFolderName(part.string()); });
}

// Where the compiler finds a quoted include: beside the file, at the top of
// its program, in common/. Empty when none of them holds it.
std::string resolveQuoted(const fs::path& root, const std::string& file, const std::string& name)
{
    const fs::path relative(file);
    const std::string top = file.substr(0, file.find('/'));
    for (const fs::path& base : {relative.parent_path(), fs::path(top), fs::path("common")}) {
        const fs::path candidate = (base / name).lexically_normal();
        const std::string text = candidate.generic_string();
        std::error_code ec;
        if (text.rfind("..", 0) != 0 && fs::is_regular_file(root / candidate, ec)) return text;
    }
    return "";
}

void checkFile(const fs::path& root, const std::string& file, const AreaRule& rule, const AreaMap& areas,
               const QtModules& qt, std::vector<std::string>& broken)
{
    static const std::regex includeLine(R"(^\s*#\s*include\s*([<"])([^>"]+)[>"])");
    std::ifstream in(root / file);
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        std::smatch m;
        if (!std::regex_search(line, m, includeLine)) continue;
        const std::string where = file + ":" + std::to_string(number) + ": includes ";
        const std::string name = m[2];
        if (m[1] == "<") {
            const std::string module = qt.moduleOf(name);
            if (module.empty() ||
                std::find(rule.qtModules.begin(), rule.qtModules.end(), module) != rule.qtModules.end())
                continue;
            broken.push_back(where + "<" + name + "> (" + module + "): " + rule.area +
                             (rule.qtModules.empty() ? " may use no Qt" : " may use only " + joined(rule.qtModules)));
            continue;
        }
        const std::string target = resolveQuoted(root, file, name);
        if (target.empty()) {
            broken.push_back(where + "\"" + name + "\", which is nowhere in the source tree");
            continue;
        }
        const AreaRule* to = isTestFile(target) ? nullptr : areas.areaOf(target);
        if (to == &rule) continue;
        if (!to) {
            const bool product = !isTestFile(target) && areas.topFolders().count(target.substr(0, target.find('/')));
            broken.push_back(where + target + (product ? ", which lies in no area of the include rules"
                                                       : ", which is no part of the product"));
            continue;
        }
        if (std::find(rule.mayUse.begin(), rule.mayUse.end(), to->area) != rule.mayUse.end()) continue;
        broken.push_back(where + target + " (" + to->area + "): " + rule.area +
                         (rule.mayUse.empty() ? " may include only its own files"
                                              : " may include only " + joined(rule.mayUse)));
    }
}

}  // namespace

bool readIncludeRules(const std::string& markdown, const std::string& marker, std::vector<AreaRule>& rules,
                      std::string& error)
{
    std::stringstream in(markdown);
    std::string line;
    bool found = false;
    while (!found && std::getline(in, line)) found = trimmed(line) == marker;
    if (!found) {
        error = "no line " + marker;
        return false;
    }
    rules.clear();
    int row = 0;
    while (std::getline(in, line) && !trimmed(line).empty() && trimmed(line)[0] == '|') {
        if (++row <= 2) continue;  // the header and its rule line
        const std::vector<std::string> cells = tableCells(line);
        const std::vector<std::string> area = cells.empty() ? std::vector<std::string>{} : codeWords(cells[0]);
        if (cells.size() != 3 || area.size() != 1) {
            error = "a row is not | `area` | `areas` it may include | `Qt modules` |: " + line;
            return false;
        }
        rules.push_back({area[0], codeWords(cells[1]), codeWords(cells[2])});
    }
    if (rules.empty()) error = "no table after " + marker;
    return !rules.empty();
}

std::vector<std::string> checkIncludes(const std::string& sourceRoot, const std::vector<AreaRule>& rules,
                                       const std::string& qtIncludeRoot)
{
    const fs::path root(sourceRoot);
    const AreaMap areas(rules);
    const QtModules qt(qtIncludeRoot);
    std::vector<std::string> files;
    for (const std::string& top : areas.topFolders()) {
        std::error_code ec;
        if (!fs::is_directory(root / top, ec)) continue;
        for (auto it = fs::recursive_directory_iterator(root / top, ec); it != fs::recursive_directory_iterator();
             it.increment(ec)) {
            if (it->is_directory() && isTestFolder(it->path())) {
                it.disable_recursion_pending();
                continue;
            }
            const std::string extension = it->path().extension().string();
            if (it->is_regular_file() && (extension == ".h" || extension == ".cpp"))
                files.push_back(it->path().lexically_relative(root).generic_string());
        }
    }
    std::sort(files.begin(), files.end());

    std::vector<std::string> broken;
    for (const std::string& file : files) {
        const AreaRule* rule = areas.areaOf(file);
        if (!rule) {
            broken.push_back(file + ": lies in no area of the include rules");
            continue;
        }
        checkFile(root, file, *rule, areas, qt, broken);
    }
    return broken;
}

}  // namespace docs
