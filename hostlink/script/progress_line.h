#pragma once

#include <chrono>
#include <cstdio>
#include <string>

#include "hostif/transfer_progress.h"

// A long transfer's progress as one line on standard error ("PROG_F:
// 131072/524288 bytes (25%), 48.2 kB/s"), redrawn in place and cleared when
// the transfer ends. Only a terminal gets it: a pipe or a file sees nothing,
// and standard output never does.
class ProgressLine : public TransferCounter {
public:
    // `total` bytes expected (0 when unknown); `out` is where the line goes
    // when it is a terminal.
    ProgressLine(const char* command, long long total, std::FILE* out = stderr);
    ~ProgressLine() override;
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    void moved(int bytes) override;

    // The line's text; a negative rate (bytes per second) is not shown.
    static std::string text(const char* command, long long done, long long total, double rate);

private:
    using Clock = std::chrono::steady_clock;
    void draw();

    const char* command_;
    long long total_;
    std::FILE* out_;
    bool active_ = false;
    TransferCounter* previous_ = nullptr;
    long long done_ = 0;
    long long first_piece_ = 0;  // bytes of the first piece, which started the clock
    Clock::time_point first_{};
    Clock::time_point drawn_{};
    std::size_t width_ = 0;  // characters on screen, for clearing
};

// Size of a file in bytes, 0 when it cannot be read.
long long file_size(const std::string& path);

// Runs `transfer` with a progress line for `command`; the line is gone again
// before the caller prints anything about the result.
template <typename Transfer>
int with_progress(const char* command, long long total, Transfer&& transfer) {
    ProgressLine line(command, total);
    return transfer();
}
