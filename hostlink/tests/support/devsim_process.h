#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

// Runs the device emulator on the device end of the test veth pair for the
// lifetime of one test. The constructor starts BIN_DIR/devsim -i dv0 with the
// given options and waits at most 5 s for its ready line; stop() (also run by
// the destructor) ends it with SIGTERM so that its dumps and capture file are
// written, and with SIGKILL if it does not end within a few seconds.
class DevsimProcess {
public:
    explicit DevsimProcess(std::vector<std::string> options);
    ~DevsimProcess();
    DevsimProcess(const DevsimProcess&) = delete;
    DevsimProcess& operator=(const DevsimProcess&) = delete;

    // True once the ready line has been seen and the emulator still runs.
    bool ready() const { return ready_; }
    void stop();

    // Everything the emulator printed on standard output so far (complete
    // after stop(): its closing counter line is part of it).
    const std::string& output() const { return output_; }
    // The emulator's exit status after stop(); -1 while running or if it was
    // killed.
    int exit_status() const { return exit_status_; }

private:
    void read_available(int wait_ms);

    pid_t pid_ = -1;
    int out_fd_ = -1;
    bool ready_ = false;
    int exit_status_ = -1;
    std::string output_;
};

// One frame of a capture file as the emulator recorded it.
struct CapturedFrame {
    uint32_t seconds = 0;
    uint32_t microseconds = 0;
    std::vector<uint8_t> bytes;
};

// Reads a classic pcap file (as written by devsim --capture). Gives false if
// the file is missing or not a pcap file; a truncated last record is left out.
bool read_capture_file(const std::string& path, std::vector<CapturedFrame>& frames);

// The frames of a capture file, bytes only (empty when unreadable).
std::vector<std::vector<uint8_t>> captured_frames(const std::string& path);
