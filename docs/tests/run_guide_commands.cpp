// run_guide_commands ROOT GUIDE
//
// Runs the command blocks GUIDE marks with <!-- run in DIR -->, each command
// by /bin/sh from ROOT/DIR (made when missing), standard input empty, and
// checks that it ends with status 0 and prints on standard output what the
// guide shows after it (guide_text.h). Commands run in the guide's order and
// share ROOT, so a later block sees what an earlier one left. Exit status 0
// when every command did as shown, 1 otherwise, 2 when the guide cannot be
// read or a marked block is malformed.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "guide_text.h"

namespace {

namespace fs = std::filesystem;

// A command that has not ended by then is stopped and fails.
constexpr auto kCommandLimit = std::chrono::seconds(60);

struct Ran {
    int status = -1;
    bool timedOut = false;
    std::string out;
    std::string err;
    double seconds = 0;
};

void readAvailable(int fd, std::string& into, bool& open)
{
    char buffer[4096];
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n > 0) into.append(buffer, std::size_t(n));
    else if (n == 0 || (errno != EAGAIN && errno != EINTR)) open = false;
}

// The command in a process group of its own, so that whatever it leaves
// running in the background is ended with it.
Ran runCommand(const fs::path& folder, const std::string& command)
{
    Ran ran;
    int out[2], err[2];
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) {
        ran.err = "cannot make a pipe";
        return ran;
    }
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::setpgid(0, 0);
        const int none = ::open("/dev/null", O_RDONLY);
        if (none < 0 || ::dup2(none, 0) < 0 || ::dup2(out[1], 1) < 0 || ::dup2(err[1], 2) < 0) _exit(126);
        if (::chdir(folder.c_str()) != 0) {
            std::perror(folder.c_str());
            _exit(126);
        }
        ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    ::close(out[1]);
    ::close(err[1]);
    if (pid < 0) {
        ::close(out[0]);
        ::close(err[0]);
        ran.err = "cannot start /bin/sh";
        return ran;
    }
    ::setpgid(pid, pid);
    ::fcntl(out[0], F_SETFL, O_NONBLOCK);
    ::fcntl(err[0], F_SETFL, O_NONBLOCK);
    bool outOpen = true, errOpen = true, ended = false;
    int wstatus = 0;
    while (!ended || outOpen || errOpen) {
        if (!ended && ::waitpid(pid, &wstatus, WNOHANG) == pid) ended = true;
        if (std::chrono::steady_clock::now() - start > kCommandLimit) {
            ran.timedOut = !ended;
            break;
        }
        pollfd fds[2] = {{outOpen ? out[0] : -1, POLLIN, 0}, {errOpen ? err[0] : -1, POLLIN, 0}};
        const int ready = ::poll(fds, 2, ended ? 0 : 100);
        if (fds[0].revents) readAvailable(out[0], ran.out, outOpen);
        if (fds[1].revents) readAvailable(err[0], ran.err, errOpen);
        // Once the shell has ended, a background child holding the pipes
        // open does not keep the command from being judged.
        if (ended && ready == 0) break;
    }
    ::kill(-pid, SIGKILL);
    if (!ended) ::waitpid(pid, &wstatus, 0);
    ::close(out[0]);
    ::close(err[0]);
    ran.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ran.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
    return ran;
}

std::string indented(const std::string& text)
{
    std::string result;
    for (const std::string& line : docs::splitLines(text)) result += "    | " + line + "\n";
    return result.empty() ? "    (nothing)\n" : result;
}

std::string joinedLines(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    return text;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: run_guide_commands ROOT GUIDE\n");
        return 2;
    }
    const fs::path root = argv[1];
    const std::string guide = argv[2];
    std::ifstream in(guide);
    if (!in) {
        std::fprintf(stderr, "run_guide_commands: cannot read %s\n", guide.c_str());
        return 2;
    }
    const std::string markdown{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    std::vector<docs::RunnableBlock> blocks;
    std::string error;
    if (!docs::readRunnableBlocks(markdown, blocks, error)) {
        std::fprintf(stderr, "%s:%s\n", guide.c_str(), error.c_str());
        return 2;
    }

    int failed = 0, commands = 0;
    for (const docs::RunnableBlock& block : blocks) {
        const fs::path folder = root / block.folder;
        std::error_code ec;
        fs::create_directories(folder, ec);
        for (const docs::GuideCommand& command : block.commands) {
            ++commands;
            const Ran ran = runCommand(folder, command.text);
            std::string why;
            if (ran.timedOut)
                why = "did not end within " + std::to_string(kCommandLimit.count()) + " s";
            else if (ran.status != 0)
                why = "ended with status " + std::to_string(ran.status);
            else if (!command.output.empty() && !docs::outputMatches(command.output, docs::splitLines(ran.out)))
                why = "printed other lines than the guide shows:\n" + indented(joinedLines(command.output));
            if (!why.empty() && why.back() == '\n') why.pop_back();
            std::printf("%s %s:%d (in %s) $ %s  [%.1f s]\n", why.empty() ? "ok  " : "FAIL", guide.c_str(),
                        command.line, block.folder.c_str(), command.text.c_str(), ran.seconds);
            if (!why.empty()) {
                ++failed;
                std::printf("  it %s\n  standard output:\n%s  standard error:\n%s", why.c_str(),
                            indented(ran.out).c_str(), indented(ran.err).c_str());
            }
            std::fflush(stdout);
        }
    }
    std::printf("%d of %d commands of %s did as the guide shows\n", commands - failed, commands, guide.c_str());
    return failed == 0 ? 0 : 1;
}
