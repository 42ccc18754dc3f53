#include "console/console.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <string>

namespace {

// Puts `fd` in place of standard input for the test's lifetime.
class StandardInputFrom {
public:
    explicit StandardInputFrom(int fd) : saved_(dup(STDIN_FILENO)) { dup2(fd, STDIN_FILENO); }
    ~StandardInputFrom() {
        dup2(saved_, STDIN_FILENO);
        close(saved_);
    }

private:
    int saved_;
};

TEST(ConsoleOnPipe, WaitingByteIsAKeyAndStaysUntilRead) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    StandardInputFrom input(fds[0]);
    EXPECT_EQ(console_key_waiting(), 0);
    ASSERT_EQ(write(fds[1], "k12 \nrest", 9), 9);
    EXPECT_EQ(console_key_waiting(), 1);
    EXPECT_EQ(console_key_waiting(), 1);
    EXPECT_EQ(console_read_key(), 'k');
    char line[16];
    ASSERT_TRUE(console_read_line(line, sizeof line));
    EXPECT_STREQ(line, "12 ");
    close(fds[1]);
    // The last line has no line end; after it, end of input.
    ASSERT_TRUE(console_read_line(line, sizeof line));
    EXPECT_STREQ(line, "rest");
    EXPECT_EQ(console_key_waiting(), 1);
    EXPECT_EQ(console_read_key(), -1);
    EXPECT_FALSE(console_read_line(line, sizeof line));
    close(fds[0]);
}

// The key state tells a waiting byte from the end of input on every kind of
// standard input, and never takes the byte from a pipe or a file.
TEST(ConsoleKeyState, KeyNothingOrEnd) {
    char scratch[] = "/tmp/console_key_XXXXXX";
    const int typed = mkstemp(scratch);
    ASSERT_GE(typed, 0);
    ASSERT_EQ(write(typed, "x", 1), 1);
    close(typed);
    struct Case {
        const char* name;
        std::function<int()> open_input;  // the descriptor; the test closes it
        KeyState state;
        int next_key;  // what a key read then gives
    };
    int fds[2] = {-1, -1};
    const Case cases[] = {
        {"open empty pipe",
         [&] {
             EXPECT_EQ(pipe(fds), 0);
             return fds[0];
         },
         KeyState::none, 'p'},
        {"byte in a pipe",
         [&] {
             EXPECT_EQ(pipe(fds), 0);
             EXPECT_EQ(write(fds[1], "p", 1), 1);
             return fds[0];
         },
         KeyState::key, 'p'},
        {"closed empty pipe",
         [&] {
             EXPECT_EQ(pipe(fds), 0);
             close(fds[1]);
             fds[1] = -1;
             return fds[0];
         },
         KeyState::ended, -1},
        {"/dev/null", [] { return open("/dev/null", O_RDONLY); }, KeyState::ended, -1},
        {"file with a byte left", [&] { return open(scratch, O_RDONLY); }, KeyState::key, 'x'},
        {"file at its end",
         [&] {
             int fd = open(scratch, O_RDONLY);
             lseek(fd, 0, SEEK_END);
             return fd;
         },
         KeyState::ended, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fds[0] = fds[1] = -1;
        const int fd = c.open_input();
        ASSERT_GE(fd, 0);
        StandardInputFrom input(fd);
        EXPECT_EQ(console_key_state(), c.state);
        EXPECT_EQ(console_key_state(), c.state) << "asking again changes nothing";
        if (c.state == KeyState::none) {
            ASSERT_EQ(write(fds[1], "p", 1), 1);
        }
        EXPECT_EQ(console_read_key(), c.next_key);
        close(fd);
        if (fds[1] >= 0) close(fds[1]);
    }
    unlink(scratch);
}

TEST(ConsoleOnPipe, OverlongLinesAreCutWithoutOverrun) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    StandardInputFrom input(fds[0]);
    std::string text(300, 'x');
    text[5] = '\0';
    text += "\r\nnext\n";
    ASSERT_EQ(write(fds[1], text.data(), text.size()), static_cast<ssize_t>(text.size()));
    close(fds[1]);
    char line[9];
    std::memset(line, 0x55, sizeof line);
    ASSERT_TRUE(console_read_line(line, 8));
    EXPECT_EQ(line[7], '\0');
    EXPECT_EQ(line[8], 0x55);
    ASSERT_TRUE(console_read_line(line, 8));
    EXPECT_STREQ(line, "next");
    close(fds[0]);
}

TEST(ConsoleOnTerminal, KeysWithoutEchoLinesWithEcho) {
    int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) GTEST_SKIP() << "no pseudo-terminal";
    int slave = open(ptsname(master), O_RDWR | O_NOCTTY);
    ASSERT_GE(slave, 0);
    StandardInputFrom input(slave);
    termios before{};
    tcgetattr(STDIN_FILENO, &before);

    // A key counts without a line end and is not echoed.
    EXPECT_EQ(console_key_waiting(), 0);
    ASSERT_EQ(write(master, "q", 1), 1);
    pollfd ready{STDIN_FILENO, POLLIN, 0};
    poll(&ready, 1, 1000);
    EXPECT_EQ(console_key_waiting(), 1);
    EXPECT_EQ(console_read_key(), 'q');
    pollfd echo{master, POLLIN, 0};
    EXPECT_EQ(poll(&echo, 1, 50), 0) << "the key was echoed";

    // A line is read in the terminal's own mode again.
    ASSERT_EQ(write(master, "abc\n", 4), 4);
    char line[16];
    ASSERT_TRUE(console_read_line(line, sizeof line));
    EXPECT_STREQ(line, "abc");
    termios after{};
    tcgetattr(STDIN_FILENO, &after);
    EXPECT_EQ(after.c_lflag & (ICANON | ECHO), before.c_lflag & (ICANON | ECHO));
    close(slave);
    close(master);
}

}  // namespace
