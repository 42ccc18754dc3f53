#include "run_program.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

namespace {

// Forks and execs the program with its standard input and output on two
// pipes; leaves the parent's ends in to_child[1] and from_child[0]. -1 when
// the pipes cannot be made.
pid_t start_child(const std::string& program, const std::vector<std::string>& arguments,
                  const std::string& working_directory, int to_child[2], int from_child[2]) {
    if (pipe(to_child) != 0) return -1;
    if (pipe(from_child) != 0) {
        close(to_child[0]);
        close(to_child[1]);
        return -1;
    }
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        dup2(to_child[0], STDIN_FILENO);
        dup2(from_child[1], STDOUT_FILENO);
        close(to_child[0]);
        close(to_child[1]);
        close(from_child[0]);
        close(from_child[1]);
        if (!working_directory.empty() && chdir(working_directory.c_str()) != 0) _exit(126);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    close(to_child[0]);
    close(from_child[1]);
    return child;
}

}  // namespace

ProgramRun run_program(const std::string& program, const std::vector<std::string>& arguments,
                       const std::string& input, int timeout_seconds) {
    ProgramRun run;
    int to_child[2];
    int from_child[2];
    const pid_t child = start_child(program, arguments, "", to_child, from_child);
    if (child < 0) return run;
    signal(SIGPIPE, SIG_IGN);
    size_t written = 0;
    if (input.empty()) {
        close(to_child[1]);
        to_child[1] = -1;
    }
    fcntl(from_child[0], F_SETFL, O_NONBLOCK);
    if (to_child[1] >= 0) fcntl(to_child[1], F_SETFL, O_NONBLOCK);

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeout_seconds);
    bool killed = false;
    for (;;) {
        pollfd fds[2] = {{from_child[0], POLLIN, 0}, {to_child[1], POLLOUT, 0}};
        const int n = to_child[1] >= 0 ? 2 : 1;
        poll(fds, n, 50);
        if (n == 2 && (fds[1].revents & (POLLOUT | POLLERR | POLLHUP))) {
            const ssize_t w = write(to_child[1], input.data() + written, input.size() - written);
            if (w > 0) written += static_cast<size_t>(w);
            if (w < 0 || written == input.size()) {
                close(to_child[1]);
                to_child[1] = -1;
            }
        }
        char buffer[4096];
        ssize_t got;
        bool ended = false;
        while ((got = read(from_child[0], buffer, sizeof buffer)) > 0) run.output.append(buffer, got);
        if (got == 0) ended = true;
        if (ended) break;
        if (std::chrono::steady_clock::now() > deadline) {
            kill(child, SIGKILL);
            killed = true;
            break;
        }
    }
    if (to_child[1] >= 0) close(to_child[1]);
    close(from_child[0]);
    int wait_status = 0;
    waitpid(child, &wait_status, 0);
    run.status = (!killed && WIFEXITED(wait_status)) ? WEXITSTATUS(wait_status) : -1;
    return run;
}

RunningProgram::RunningProgram(const std::string& program, const std::vector<std::string>& arguments,
                               const std::string& working_directory) {
    int to_child[2];
    int from_child[2];
    const pid_t child = start_child(program, arguments, working_directory, to_child, from_child);
    if (child < 0) return;
    signal(SIGPIPE, SIG_IGN);
    pid_ = child;
    input_ = to_child[1];
    output_ = from_child[0];
    fcntl(output_, F_SETFL, O_NONBLOCK);
}

RunningProgram::~RunningProgram() {
    if (pid_ > 0) finish(1);
}

void RunningProgram::write_input(const std::string& text) {
    if (input_ < 0) return;
    size_t written = 0;
    while (written < text.size()) {
        const ssize_t n = write(input_, text.data() + written, text.size() - written);
        if (n <= 0) break;
        written += static_cast<size_t>(n);
    }
}

void RunningProgram::close_input() {
    if (input_ >= 0) close(input_);
    input_ = -1;
}

void RunningProgram::collect(int wait_ms) {
    pollfd fd{output_, POLLIN, 0};
    poll(&fd, 1, wait_ms);
    char buffer[4096];
    ssize_t got;
    while ((got = read(output_, buffer, sizeof buffer)) > 0) collected_.append(buffer, static_cast<size_t>(got));
}

ProgramRun RunningProgram::finish(int timeout_seconds) {
    ProgramRun run;
    if (pid_ <= 0) return run;
    close_input();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeout_seconds);
    int wait_status = 0;
    bool killed = false;
    for (;;) {
        collect(20);
        if (waitpid(pid_, &wait_status, WNOHANG) == pid_) break;
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &wait_status, 0);
            killed = true;
            break;
        }
    }
    collect(0);
    close(output_);
    output_ = -1;
    pid_ = -1;
    run.output = collected_;
    run.status = (!killed && WIFEXITED(wait_status)) ? WEXITSTATUS(wait_status) : -1;
    return run;
}
