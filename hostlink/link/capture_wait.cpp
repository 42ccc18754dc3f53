#include <poll.h>
#include <sys/epoll.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <ctime>

#include "ethernet_link.h"

// A wait with its own time-out programs and cancels a kernel timer on every
// call, which costs more than the frame itself on a virtual machine. Here one
// timer deadline serves all receive calls until it passes: a call never waits
// longer than 1 ms, and the timer is touched at most once per millisecond.

namespace {

constexpr int READ_TIMEOUT_MS = 1;
constexpr int64_t READ_TIMEOUT_NS = 1'000'000;
constexpr uint32_t CAPTURE_READY = 1;
constexpr uint32_t DEADLINE_PASSED = 2;

int64_t monotonic_ns() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

bool watch(int set, int descriptor, uint32_t tag) {
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.u32 = tag;
    return epoll_ctl(set, EPOLL_CTL_ADD, descriptor, &event) == 0;
}

}  // namespace

void EthernetLink::prepare_capture_wait() {
    const int descriptor = pcap_get_selectable_fd(capture_);
    capture_wait_ = epoll_create1(EPOLL_CLOEXEC);
    wait_timer_ = timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC | TFD_NONBLOCK);
    wait_deadline_ns_ = 0;
    if (descriptor < 0 || capture_wait_ < 0 || wait_timer_ < 0 || !watch(capture_wait_, descriptor, CAPTURE_READY) ||
        !watch(capture_wait_, wait_timer_, DEADLINE_PASSED)) {
        if (capture_wait_ >= 0) ::close(capture_wait_);
        if (wait_timer_ >= 0) ::close(wait_timer_);
        capture_wait_ = -1;
        wait_timer_ = -1;
    }
}

void EthernetLink::close_capture() {
    if (capture_wait_ >= 0) ::close(capture_wait_);
    if (wait_timer_ >= 0) ::close(wait_timer_);
    capture_wait_ = -1;
    wait_timer_ = -1;
    wait_deadline_ns_ = 0;
    if (capture_ != nullptr) pcap_close(capture_);
    capture_ = nullptr;
}

bool EthernetLink::wait_for_capture() {
    if (capture_wait_ >= 0) {
        const int64_t now = monotonic_ns();
        bool armed = now < wait_deadline_ns_;
        if (!armed) {
            // Setting the timer also clears its count of past expiries.
            wait_deadline_ns_ = now + READ_TIMEOUT_NS;
            itimerspec deadline{};
            deadline.it_value.tv_sec = wait_deadline_ns_ / 1'000'000'000;
            deadline.it_value.tv_nsec = wait_deadline_ns_ % 1'000'000'000;
            armed = timerfd_settime(wait_timer_, TFD_TIMER_ABSTIME, &deadline, nullptr) == 0;
        }
        if (armed) {
            epoll_event events[2];
            const int ready = epoll_wait(capture_wait_, events, 2, -1);
            for (int i = 0; i < ready; ++i) {
                if (events[i].data.u32 == CAPTURE_READY) return true;
            }
            return false;
        }
    }
    pollfd capture_fd{pcap_get_selectable_fd(capture_), POLLIN, 0};
    return capture_fd.fd >= 0 && poll(&capture_fd, 1, READ_TIMEOUT_MS) > 0;
}

// Asking the wait set costs less than asking the library, whose non-blocking
// read polls the descriptor itself; and it spares the next wait a second
// look at a descriptor the set still lists as ready from the last reply.
bool EthernetLink::capture_waiting() {
    if (capture_wait_ < 0) return true;  // the library's own check decides
    epoll_event events[2];
    const int ready = epoll_wait(capture_wait_, events, 2, 0);
    for (int i = 0; i < ready; ++i) {
        if (events[i].data.u32 == CAPTURE_READY) return true;
    }
    return false;
}
