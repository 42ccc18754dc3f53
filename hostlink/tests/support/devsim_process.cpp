#include "devsim_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>

#ifndef BIN_DIR
#error "BIN_DIR must name the directory that holds devsim"
#endif

namespace {

constexpr const char* ready_text = "devsim: listening on";
// Only a bound for an emulator that never comes up: a ready one ends the wait
// at once, and a loaded CI machine with sanitizers can take seconds to start it.
constexpr int start_limit_ms = 20000;
constexpr int term_limit_ms = 3000;

int64_t now_ms() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

DevsimProcess::DevsimProcess(std::vector<std::string> options) {
    std::string program = std::string(BIN_DIR) + "/devsim";
    std::vector<std::string> args = {program, "-i", "dv0"};
    args.insert(args.end(), options.begin(), options.end());
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);

    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return;
    pid_t parent = getpid();
    pid_ = fork();
    if (pid_ < 0) {
        close(fds[0]);
        close(fds[1]);
        return;
    }
    if (pid_ == 0) {
        // The emulator must not outlive a test that crashes.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent) _exit(127);
        dup2(fds[1], STDOUT_FILENO);
        execv(program.c_str(), argv.data());
        std::fprintf(stderr, "cannot start %s: %s\n", program.c_str(), std::strerror(errno));
        _exit(127);
    }
    close(fds[1]);
    out_fd_ = fds[0];
    fcntl(out_fd_, F_SETFL, O_NONBLOCK);

    int64_t limit = now_ms() + start_limit_ms;
    while (!ready_) {
        int64_t left = limit - now_ms();
        if (left <= 0 || out_fd_ < 0) break;
        read_available(static_cast<int>(left));
        if (output_.find(ready_text) != std::string::npos) ready_ = true;
    }
    if (!ready_) stop();
}

DevsimProcess::~DevsimProcess() { stop(); }

void DevsimProcess::read_available(int wait_ms) {
    if (out_fd_ < 0) return;
    pollfd p{out_fd_, POLLIN, 0};
    if (poll(&p, 1, wait_ms) <= 0) return;
    char chunk[4096];
    for (;;) {
        ssize_t n = read(out_fd_, chunk, sizeof chunk);
        if (n > 0) {
            output_.append(chunk, static_cast<size_t>(n));
            continue;
        }
        if (n == 0) {  // the emulator closed its output: it has ended
            close(out_fd_);
            out_fd_ = -1;
        }
        return;
    }
}

void DevsimProcess::stop() {
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        int64_t limit = now_ms() + term_limit_ms;
        int status = 0;
        pid_t done = 0;
        while ((done = waitpid(pid_, &status, WNOHANG)) == 0 && now_ms() < limit) {
            read_available(10);
        }
        if (done == 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &status, 0);
            exit_status_ = -1;
        } else {
            exit_status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        pid_ = -1;
    }
    if (out_fd_ >= 0) {
        read_available(0);
        if (out_fd_ >= 0) close(out_fd_);
        out_fd_ = -1;
    }
    ready_ = false;
}

bool read_capture_file(const std::string& path, std::vector<CapturedFrame>& frames) {
    frames.clear();
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    uint8_t header[24];
    bool ok = std::fread(header, 1, sizeof header, f) == sizeof header;
    uint32_t magic = 0;
    if (ok) std::memcpy(&magic, header, 4);
    // Only files written on this host's byte order (as devsim writes them).
    ok = ok && (magic == 0xA1B2C3D4u || magic == 0xA1B23C4Du);
    bool nanoseconds = magic == 0xA1B23C4Du;
    while (ok) {
        uint32_t record[4];
        if (std::fread(record, 1, sizeof record, f) != sizeof record) break;
        CapturedFrame frame;
        frame.seconds = record[0];
        frame.microseconds = nanoseconds ? record[1] / 1000 : record[1];
        uint32_t length = record[2];
        if (length > 262144) break;
        frame.bytes.resize(length);
        if (length > 0 && std::fread(frame.bytes.data(), 1, length, f) != length) break;
        frames.push_back(std::move(frame));
    }
    std::fclose(f);
    return ok;
}

std::vector<std::vector<uint8_t>> captured_frames(const std::string& path) {
    std::vector<CapturedFrame> frames;
    std::vector<std::vector<uint8_t>> bytes;
    if (!read_capture_file(path, frames)) return bytes;
    for (auto& f : frames) bytes.push_back(std::move(f.bytes));
    return bytes;
}
