#include "run_and_wait.h"

#include <filesystem>
#include <system_error>

namespace ndx {
namespace {

bool endsWith(const std::string& text, const std::string& tail)
{
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

std::string fileName(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

std::string childName(const std::vector<std::string>& argv)
{
    if (argv.empty()) return {};
    if (argv.size() > 1 && argv[0] == "/bin/sh") return fileName(argv[1]);
    return fileName(argv[0]);
}

std::string labelledChildLine(const std::string& child, const std::string& line)
{
    const std::string label = child + ": ";
    return line.compare(0, label.size(), label) == 0 ? line : label + line;
}

bool isCaptureDiagnosis(const std::string& line)
{
    return line.find("hostlink: cannot capture on ") != std::string::npos;
}

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
               const std::string& workDir, const OutputLine& read)
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

    const std::string name = childName(argv);
    session.captureDiagnosis.clear();
    if (session.childOutput) session.childOutput->childStarted(name);
    const int code = session.runner.run(argv, workDir, [&](const std::string& line) {
        if (read) read(line);
        if (isCaptureDiagnosis(line)) session.captureDiagnosis = line.substr(line.find("hostlink: "));
        if (session.childOutput) session.childOutput->childLine(name, line);
    });
    if (session.childOutput) session.childOutput->childEnded(name, code);
    return code;
}

}  // namespace ndx
