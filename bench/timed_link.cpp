#include "timed_link.h"

#include <chrono>
#include <thread>

#include "hostif/pause.h"

namespace {

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// The pause function is a plain function pointer, so its tally lives here.
double paused_seconds = 0;
uint64_t pause_count = 0;

void counted_pause(int milliseconds) {
    const auto start = Clock::now();
    if (milliseconds > 0) std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    paused_seconds += seconds_since(start);
    ++pause_count;
}

}  // namespace

ZdkStatus TimedLink::send_frame(const uint8_t* bytes, int length) {
    if (on_send) on_send(bytes, length);
    const auto start = Clock::now();
    const ZdkStatus status = EthernetLink::send_frame(bytes, length);
    shares_.send += seconds_since(start);
    ++shares_.sends;
    return status;
}

ZdkStatus TimedLink::receive_frame(const uint8_t** bytes, int* length) {
    const auto start = Clock::now();
    const ZdkStatus status = EthernetLink::receive_frame(bytes, length);
    const double spent = seconds_since(start);
    if (status == ZDK_SUCCESS && *length > 0) {
        shares_.reply += spent;
        ++shares_.replies;
    } else {
        shares_.idle_capture += spent;
        ++shares_.idle_captures;
    }
    return status;
}

TimeShares TimedLink::snapshot() const {
    TimeShares shares = shares_;
    shares.pause = paused_seconds;
    shares.pauses = pause_count;
    return shares;
}

void count_pauses() {
    paused_seconds = 0;
    pause_count = 0;
    set_pause_function(counted_pause);
}

TimeShares measure_shares(TimedLink& link, const std::function<void()>& operation) {
    const TimeShares before = link.snapshot();
    const auto start = Clock::now();
    operation();
    TimeShares after = link.snapshot();
    after.total = seconds_since(start);
    after.send -= before.send;
    after.reply -= before.reply;
    after.idle_capture -= before.idle_capture;
    after.pause -= before.pause;
    after.sends -= before.sends;
    after.replies -= before.replies;
    after.idle_captures -= before.idle_captures;
    after.pauses -= before.pauses;
    return after;
}
