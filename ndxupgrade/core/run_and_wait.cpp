#include "run_and_wait.h"

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <vector>

namespace ndx {
namespace {

const char* const cannotRunPrefix = "ndxupgrade: cannot run ";

bool inOwnGroups(gid_t group)
{
    if (group == ::getegid()) return true;
    const int count = ::getgroups(0, nullptr);
    if (count <= 0) return false;
    std::vector<gid_t> groups(static_cast<std::size_t>(count));
    const int got = ::getgroups(count, groups.data());
    for (int i = 0; i < got; ++i)
        if (groups[static_cast<std::size_t>(i)] == group) return true;
    return false;
}

// Why this user cannot start the program, or "" when it can. A program that
// only its group may run (the package's hostlink) names that group.
std::string startProblem(const std::string& path)
{
    if (::access(path.c_str(), X_OK) == 0) return {};
    const int error = errno;
    std::string onlyGroup;
    struct stat st {};
    if (error == EACCES && ::stat(path.c_str(), &st) == 0 && (st.st_mode & S_IXGRP) && !(st.st_mode & S_IXOTH) &&
        !inOwnGroups(st.st_gid)) {
        const struct group* g = ::getgrgid(st.st_gid);
        onlyGroup = g ? g->gr_name : std::to_string(st.st_gid);
    }
    return cannotRunText(path, std::strerror(error), onlyGroup);
}

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

std::string cannotRunText(const std::string& path, const std::string& reason, const std::string& onlyGroup)
{
    std::string text = cannotRunPrefix + path + ": " + reason;
    if (!onlyGroup.empty())
        text += " (only the members of the group " + onlyGroup + " may run it: sudo usermod -aG " + onlyGroup +
                " $USER, then log in again)";
    return text;
}

bool isLoaderDiagnosis(const std::string& line)
{
    return isCaptureDiagnosis(line) || line.rfind(cannotRunPrefix, 0) == 0;
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
    // A script is read by /bin/sh, which says itself what it cannot run.
    if (argv.front() != "/bin/sh") {
        session.captureDiagnosis = startProblem(resolved.string());
        if (!session.captureDiagnosis.empty()) return -1;
    }
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
