#include "console.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>

#include "stop/stop_request.h"

namespace {

// Terminal state as found before the first key read, restored on every way out.
struct termios saved_mode;
bool saved_mode_valid = false;
bool raw_mode_active = false;

constexpr int restored_signals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

void restore_terminal() {
    if (saved_mode_valid && raw_mode_active) {
        tcsetattr(STDIN_FILENO, TCSANOW, &saved_mode);
        raw_mode_active = false;
    }
}

// Safe in a signal handler.
void restore_terminal_at_once() {
    if (saved_mode_valid) tcsetattr(STDIN_FILENO, TCSANOW, &saved_mode);
}

void restore_and_reraise(int signal_number) {
    restore_terminal_at_once();
    std::signal(signal_number, SIG_DFL);
    std::raise(signal_number);
}

// Remembers the terminal's own mode once and arranges for it to come back at
// exit and on the usual terminating signals (handlers others installed stay;
// a stop asked for by a signal ends in an exit, and a second signal that ends
// the process at once restores the mode first).
void remember_terminal_mode() {
    if (saved_mode_valid) return;
    if (tcgetattr(STDIN_FILENO, &saved_mode) != 0) return;
    saved_mode_valid = true;
    std::atexit(restore_terminal);
    set_forced_end_hook(restore_terminal_at_once);
    for (int signal_number : restored_signals) {
        struct sigaction current {};
        if (sigaction(signal_number, nullptr, &current) == 0 && current.sa_handler == SIG_DFL) {
            std::signal(signal_number, restore_and_reraise);
        }
    }
}

// Keys are read one at a time without echo; on a pipe nothing changes.
void enter_key_mode() {
    if (raw_mode_active || !isatty(STDIN_FILENO)) return;
    remember_terminal_mode();
    if (!saved_mode_valid) return;
    struct termios raw = saved_mode;
    raw.c_lflag &= ~(ICANON | ECHO);
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    if (tcsetattr(STDIN_FILENO, TCSANOW, &raw) == 0) raw_mode_active = true;
}

// Lines are typed with the terminal's own editing and echo.
void enter_line_mode() { restore_terminal(); }

// A byte taken from a device input to tell a key from the end of input
// (console_key_state); the next read hands it out first. -1: none.
int read_ahead = -1;

// One byte from standard input; -1 at end of input, on a read error or when
// a stop is asked for while the read waits (the input then counts as ended).
int read_byte() {
    if (read_ahead >= 0) {
        const int byte = read_ahead;
        read_ahead = -1;
        return byte;
    }
    unsigned char byte = 0;
    for (;;) {
        if (!await_input_unless_stopped(STDIN_FILENO)) return -1;
        ssize_t got = read(STDIN_FILENO, &byte, 1);
        if (got == 1) return byte;
        if (got < 0 && errno == EINTR) continue;
        return -1;
    }
}

}  // namespace

// End of input also counts as waiting: the read that follows reports it, so a
// caller polling for a key never spins on a closed input.
int console_key_waiting() {
    if (read_ahead >= 0) return 1;
    enter_key_mode();
    struct pollfd input {STDIN_FILENO, POLLIN, 0};
    int ready = poll(&input, 1, 0);
    if (ready <= 0) return 0;
    return (input.revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL)) != 0 ? 1 : 0;
}

// On a terminal a readable input is a key (a hang-up ends the program
// anyway). Elsewhere readable may also mean end of input: a pipe says so by
// its hang-up alone, a file by its offset, a socket by a peek; only for other
// devices (/dev/null) must a byte be read, and it is kept for the next read.
// What waits in a pipe or a file stays there until read.
KeyState console_key_state() {
    if (read_ahead >= 0) return KeyState::key;
    if (isatty(STDIN_FILENO)) return console_key_waiting() ? KeyState::key : KeyState::none;
    struct stat input_file {};
    if (fstat(STDIN_FILENO, &input_file) != 0) return KeyState::ended;
    if (S_ISREG(input_file.st_mode)) {
        const off_t offset = lseek(STDIN_FILENO, 0, SEEK_CUR);
        return offset >= 0 && offset < input_file.st_size ? KeyState::key : KeyState::ended;
    }
    struct pollfd input {STDIN_FILENO, POLLIN, 0};
    if (poll(&input, 1, 0) <= 0) return KeyState::none;
    if (input.revents & POLLNVAL) return KeyState::ended;
    if (S_ISFIFO(input_file.st_mode)) {
        if (input.revents & POLLIN) return KeyState::key;
        return input.revents & (POLLHUP | POLLERR) ? KeyState::ended : KeyState::none;
    }
    if (S_ISSOCK(input_file.st_mode)) {
        char byte = 0;
        const ssize_t got = recv(STDIN_FILENO, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
        if (got > 0) return KeyState::key;
        return got == 0 ? KeyState::ended : KeyState::none;
    }
    const int byte = read_byte();
    if (byte < 0) return KeyState::ended;
    read_ahead = byte;
    return KeyState::key;
}

int console_read_key() {
    enter_key_mode();
    return read_byte();
}

// Reads byte by byte so that nothing beyond the line is taken from a pipe; the
// part of an over-long line that does not fit is read and dropped.
bool console_read_line(char* buffer, int size) {
    if (buffer == nullptr || size <= 0) return false;
    enter_line_mode();
    int stored = 0;
    bool got_any = false;
    for (;;) {
        int byte = read_byte();
        if (byte < 0) break;
        got_any = true;
        if (byte == '\n') break;
        if (stored < size - 1) buffer[stored++] = static_cast<char>(byte);
    }
    if (stored > 0 && buffer[stored - 1] == '\r') --stored;
    buffer[stored] = '\0';
    // A line cut short by a stop is not acted on.
    return got_any && !stop_requested();
}
