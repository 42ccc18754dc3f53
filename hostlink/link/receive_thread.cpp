#include <poll.h>

#include <chrono>
#include <system_error>

#include "ethernet_link.h"
#include "stop/stop_request.h"

namespace {
constexpr int LOOP_WAIT_MS = 1;
}

// The flag is cleared here rather than by the thread itself, so that a stop
// issued right after the start is never undone by the thread starting late.
ZdkStatus EthernetLink::start_receive_thread(pcap_handler callback, u_char* user) {
    if (receive_thread_.joinable()) {
        if (wait_for_loop_end(0) != ZDK_SUCCESS) return ZDK_THREAD_CREATION_FAILED;
    }
    callback_ = callback;
    callback_user_ = user;
    {
        std::lock_guard<std::mutex> lock(loop_mutex_);
        loop_running_ = true;
    }
    stop_flag_ = 0;
    try {
        receive_thread_ = std::thread(&EthernetLink::dispatch_loop, this);
    } catch (const std::system_error&) {
        std::lock_guard<std::mutex> lock(loop_mutex_);
        loop_running_ = false;
        stop_flag_ = 1;
        return ZDK_THREAD_CREATION_FAILED;
    }
    return ZDK_SUCCESS;
}

ZdkStatus EthernetLink::stop_receive_thread(int timeout_ms) {
    stop_flag_ = 1;
    return wait_for_loop_end(timeout_ms);
}

// The end of the loop is a state guarded by the mutex, not a pulse: a waiter
// arriving after the loop ended sees it at once and never waits for a signal
// that has already gone by.
ZdkStatus EthernetLink::wait_for_loop_end(int timeout_ms) {
    {
        std::unique_lock<std::mutex> lock(loop_mutex_);
        const auto ended = [this] { return !loop_running_; };
        if (timeout_ms < 0) {
            loop_ended_.wait(lock, ended);
        } else if (!loop_ended_.wait_for(lock, std::chrono::milliseconds(timeout_ms), ended)) {
            return ZDK_TIMEOUT_EXPIRED;
        }
    }
    if (receive_thread_.joinable()) receive_thread_.join();
    return ZDK_SUCCESS;
}

// Waits on the capture descriptor between dispatches so that an idle loop
// sleeps instead of spinning on the non-blocking handle; a capture error ends
// the loop rather than repeating forever.
void EthernetLink::dispatch_loop() {
    // The signals that ask for a stop go to the loader's own thread, whose
    // waits they must end.
    block_stop_signals_in_this_thread();
    if (capture_ != nullptr) {
        pollfd capture_fd{pcap_get_selectable_fd(capture_), POLLIN, 0};
        while (stop_flag_ == 0) {
            if (capture_fd.fd >= 0) poll(&capture_fd, 1, LOOP_WAIT_MS);
            if (pcap_dispatch(capture_, 1, callback_, callback_user_) == PCAP_ERROR) break;
        }
    }
    std::lock_guard<std::mutex> lock(loop_mutex_);
    loop_running_ = false;
    loop_ended_.notify_all();
}
