#include "run_program.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

ProgramRun run_program(const std::string& program, const std::vector<std::string>& arguments,
                       const std::string& input, int timeout_seconds) {
    ProgramRun run;
    int to_child[2];
    int from_child[2];
    if (pipe(to_child) != 0) return run;
    if (pipe(from_child) != 0) {
        close(to_child[0]);
        close(to_child[1]);
        return run;
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
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    close(to_child[0]);
    close(from_child[1]);
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
