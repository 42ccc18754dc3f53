#include "run_and_wait.h"

#include <filesystem>
#include <system_error>

namespace ndx {
namespace {

bool endsWith(const std::string& text, const std::string& tail)
{
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

std::vector<std::string> splitArgumentText(const std::string& text)
{
    std::vector<std::string> words;
    std::string word;
    for (char c : text) {
        if (c == ' ') {
            if (!word.empty()) words.push_back(word);
            word.clear();
        } else {
            word += c;
        }
    }
    if (!word.empty()) words.push_back(word);
    return words;
}

int runAndWait(Session& session, const std::string& programPath, const std::string& argumentText,
               const std::string& workDir)
{
    std::filesystem::path resolved(programPath);
    if (resolved.is_relative()) resolved = std::filesystem::path(workDir) / resolved;
    std::error_code ec;
    if (!std::filesystem::exists(resolved, ec)) {
        session.boxes.show("Error", "Err: Can't find " + programPath, BoxIcon::Error);
        return -1;
    }

    // No shell in between: a word typed by the user can add an argument, never a command.
    std::vector<std::string> argv;
    if (endsWith(programPath, ".sh")) argv.push_back("/bin/sh");
    argv.push_back(programPath);
    for (std::string& word : splitArgumentText(argumentText)) argv.push_back(std::move(word));
    return session.runner.run(argv, workDir);
}

}  // namespace ndx
