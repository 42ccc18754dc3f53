#include "console/console.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <cstring>
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
