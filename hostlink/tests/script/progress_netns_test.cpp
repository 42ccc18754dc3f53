#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "devsim_process.h"
#include "run_program.h"
#include "temp_dir.h"

// The transfer progress of the memory file commands, with standard error on
// a pseudo-terminal: one line redrawn in place and cleared at the end, while
// standard output stays exactly as without a terminal.
namespace {

struct TerminalRun {
    std::string output;    // standard output (a pipe)
    std::string terminal;  // what reached the terminal on standard error
    int status = -1;
};

TerminalRun run_with_terminal_stderr(const std::vector<std::string>& arguments) {
    TerminalRun run;
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return run;
    int out[2];
    if (pipe(out) != 0) return run;
    const pid_t child = fork();
    if (child == 0) {
        const int slave = open(ptsname(master), O_RDWR | O_NOCTTY);
        const int null = open("/dev/null", O_RDONLY);
        dup2(null, STDIN_FILENO);
        dup2(out[1], STDOUT_FILENO);
        dup2(slave, STDERR_FILENO);
        std::vector<char*> argv{const_cast<char*>(HOSTLINK_BINARY)};
        for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(HOSTLINK_BINARY, argv.data());
        _exit(127);
    }
    close(out[1]);
    bool output_open = true;
    for (int waited = 0; waited < 600; ++waited) {
        pollfd fds[2] = {{out[0], POLLIN, 0}, {master, POLLIN, 0}};
        poll(fds, 2, 100);
        char buffer[4096];
        ssize_t got;
        if (fds[0].revents != 0) {
            got = read(out[0], buffer, sizeof buffer);
            if (got > 0) run.output.append(buffer, got);
            if (got <= 0) output_open = false;
        }
        if (fds[1].revents & POLLIN) {
            got = read(master, buffer, sizeof buffer);
            if (got > 0) run.terminal.append(buffer, got);
        }
        if (!output_open && waitpid(child, &run.status, WNOHANG) == child) break;
    }
    char buffer[4096];
    ssize_t got;
    fcntl(master, F_SETFL, O_NONBLOCK);
    while ((got = read(master, buffer, sizeof buffer)) > 0) run.terminal.append(buffer, got);
    if (waitpid(child, &run.status, WNOHANG) == 0) {
        kill(child, SIGKILL);
        waitpid(child, &run.status, 0);
    }
    run.status = WIFEXITED(run.status) ? WEXITSTATUS(run.status) : -1;
    close(out[0]);
    close(master);
    return run;
}

TEST(TransferProgress, OnATerminalOnlyAndClearedAtTheEnd) {
    if (getenv("HL_IFACE") == nullptr) GTEST_SKIP() << "needs the test namespace (run_in_netns.sh)";
    TempDir dir;
    std::string block;
    for (int i = 0; i < 100000; ++i) block.push_back(char(i * 7 + 3));
    dir.file("block.bin", block);
    const std::string script = dir.file("script.txt", "WRITE_BLOCK_F,20000," + dir.path("block.bin") +
                                                          "\nREAD_BLOCK_F,20000," + dir.path("back.bin") +
                                                          ",100000\n");
    DevsimProcess devsim({});
    ASSERT_TRUE(devsim.ready()) << devsim.output();
    const std::vector<std::string> arguments = {"-m", "1", "-a", "192.0.2.2", "-s", script};

    const TerminalRun on_terminal = run_with_terminal_stderr(arguments);
    ASSERT_EQ(on_terminal.status, 0) << on_terminal.output << on_terminal.terminal;
    EXPECT_EQ(TempDir::contents(dir.path("back.bin")), block);
    const std::string& t = on_terminal.terminal;
    EXPECT_NE(t.find("\rWRITE_BLOCK_F: 0/100000 bytes (0%)"), std::string::npos) << t;
    EXPECT_NE(t.find("\rWRITE_BLOCK_F: 100000/100000 bytes (100%)"), std::string::npos) << t;
    EXPECT_NE(t.find("\rREAD_BLOCK_F: 100000/100000 bytes (100%)"), std::string::npos) << t;
    EXPECT_EQ(t.find('\n'), std::string::npos) << t;
    // Cleared: the last thing on the line is blanks over the progress text.
    ASSERT_GE(t.size(), 2u);
    EXPECT_EQ(t.back(), '\r');
    const std::size_t last = t.rfind('\r', t.size() - 2);
    ASSERT_NE(last, std::string::npos);
    EXPECT_EQ(t.find_first_not_of(' ', last + 1), t.size() - 1) << t;

    // Without a terminal: the same standard output, nothing on standard error.
    const ProgramRun piped = run_program(
        "/bin/sh", {"-c", "exec " + std::string(HOSTLINK_BINARY) + " -m 1 -a 192.0.2.2 -s " + script + " 2>" +
                              dir.path("stderr.txt")});
    EXPECT_EQ(piped.status, 0);
    EXPECT_EQ(piped.output, on_terminal.output);
    EXPECT_EQ(TempDir::contents(dir.path("stderr.txt")), "");
}

}  // namespace
