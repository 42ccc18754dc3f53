#include <gtest/gtest.h>

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>

#include "console/console.h"
#include "stop/stop_request.h"

// The stop a signal asks for, each case in a child process of its own (the
// handlers are process-wide): the first SIGINT, SIGTERM or SIGHUP is only
// recorded, a second one ends the process at once, a signal ignored at start
// stays ignored, and the waits end at the signal, not at another one.
namespace {

struct ChildEnd {
    int exit_status = -1;  // -1 when a signal ended it
    int signal_number = 0;
};

// Runs `body` in a child; its result is the child's exit status. `started`
// runs in the parent once the child has written its first byte to the pipe
// given to it (the handlers are in place then).
ChildEnd in_child(const std::function<int(int ready)>& body, const std::function<void(pid_t)>& started = nullptr) {
    int ready[2];
    if (pipe(ready) != 0) return {};
    const pid_t child = fork();
    if (child == 0) {
        close(ready[0]);
        _exit(body(ready[1]));
    }
    close(ready[1]);
    if (started) {
        char byte = 0;
        pollfd wait{ready[0], POLLIN, 0};
        if (poll(&wait, 1, 10'000) == 1 && read(ready[0], &byte, 1) == 1) started(child);
    }
    int status = 0;
    waitpid(child, &status, 0);
    close(ready[0]);
    if (WIFSIGNALED(status)) return {-1, WTERMSIG(status)};
    return {WEXITSTATUS(status), 0};
}

void say_ready(int ready) {
    const char byte = 'r';
    if (write(ready, &byte, 1) != 1) _exit(90);
}

long long elapsed_ms(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - since).count();
}

// The hook tells the parent through the pipe that it ran before the end.
int hook_pipe = -1;
void hook_writes_a_byte() {
    const char byte = 'h';
    if (write(hook_pipe, &byte, 1) != 1) return;
}

TEST(StopRequest, FirstSignalIsRecordedSecondEndsTheProcessAtOnce) {
    int hook_ran[2];
    ASSERT_EQ(pipe(hook_ran), 0);
    const ChildEnd end = in_child([&](int) {
        hook_pipe = hook_ran[1];
        install_stop_handlers();
        set_forced_end_hook(hook_writes_a_byte);
        raise(SIGTERM);
        if (stop_signal() != SIGTERM) return 1;
        raise(SIGINT);
        return 2;  // not reached: the second signal ends the process
    });
    close(hook_ran[1]);
    EXPECT_EQ(end.exit_status, -1);
    EXPECT_EQ(end.signal_number, SIGINT);
    char byte = 0;
    EXPECT_EQ(read(hook_ran[0], &byte, 1), 1) << "the terminal hook runs before the end";
    close(hook_ran[0]);
}

TEST(StopRequest, SignalIgnoredAtStartStaysIgnored) {
    for (int ignored : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(stop_signal_name(ignored));
        const ChildEnd end = in_child([ignored](int) {
            signal(ignored, SIG_IGN);
            install_stop_handlers();
            raise(ignored);
            if (stop_requested()) return 1;
            struct sigaction now {};
            sigaction(ignored, nullptr, &now);
            if (now.sa_handler != SIG_IGN) return 2;
            // The others are taken as stops all the same.
            const int other = ignored == SIGHUP ? SIGINT : SIGHUP;
            raise(other);
            return stop_signal() == other ? 0 : 3;
        });
        EXPECT_EQ(end.exit_status, 0);
    }
}

struct WaitCase {
    const char* name;
    std::function<bool()> wait;  // the wait under test; false when a stop ended it
};

// Each wait would last 30 s or for ever; SIGHUP comes about 100 ms in.
TEST(StopRequest, WaitsEndAtTheSignal) {
    int silent[2];
    ASSERT_EQ(pipe(silent), 0);
    const WaitCase cases[] = {
        {"sleep", [] { return sleep_unless_stopped(30'000); }},
        {"input that never comes", [&] { return await_input_unless_stopped(silent[0]); }},
        {"console line",
         [&] {
             dup2(silent[0], STDIN_FILENO);
             char line[16];
             return console_read_line(line, sizeof line);
         }},
        {"console key",
         [&] {
             dup2(silent[0], STDIN_FILENO);
             return console_read_key() >= 0;
         }},
    };
    for (const WaitCase& c : cases) {
        SCOPED_TRACE(c.name);
        const ChildEnd end = in_child(
            [&c](int ready) {
                install_stop_handlers();
                say_ready(ready);
                const auto start = std::chrono::steady_clock::now();
                if (c.wait()) return 1;
                if (stop_signal() != SIGHUP) return 2;
                return elapsed_ms(start) < 10'000 ? 0 : 3;
            },
            [](pid_t child) {
                usleep(100'000);
                kill(child, SIGHUP);
            });
        EXPECT_EQ(end.exit_status, 0);
    }
    close(silent[0]);
    close(silent[1]);
}

// A signal that asks for no stop (here one with a handler of its own) does
// not cut the sleep short.
TEST(StopRequest, OtherSignalsDoNotEndTheSleep) {
    const ChildEnd end = in_child(
        [](int ready) {
            install_stop_handlers();
            signal(SIGUSR1, [](int) {});
            say_ready(ready);
            const auto start = std::chrono::steady_clock::now();
            if (!sleep_unless_stopped(400)) return 1;
            return elapsed_ms(start) >= 390 ? 0 : 2;
        },
        [](pid_t child) {
            usleep(50'000);
            kill(child, SIGUSR1);
        });
    EXPECT_EQ(end.exit_status, 0);
}

}  // namespace
