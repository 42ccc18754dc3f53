#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "hostif/pause.h"
#include "link/ethernet_link.h"

// A link substitute for unit tests: records every frame sent and filter set,
// and answers receive_frame from a queue of frames, or from a responder that
// sees each sent frame and may queue replies to it.
//
// Time on the link is simulated: a receive_frame that finds nothing moves the
// clock on by idle_receive_us (the 1 ms a real capture call waits at most,
// unless a test makes the PC slower), and while the link
// exists the loader's reply windows are timed by that clock. Frames given to
// deliver_at join the queue once the clock reaches their time. Every frame
// in the queue has arrived: take_waiting_frame takes it without waiting.
class ScriptedLink : public EthernetLink {
public:
    using Frame = std::vector<uint8_t>;
    // Called after each send_frame; may push replies into `replies`.
    using Responder = std::function<void(const Frame& sent, std::deque<Frame>& replies)>;

    ScriptedLink() : previous_clock_(set_clock_function(&ScriptedLink::clock)) { now_us = 0; }
    ~ScriptedLink() override { set_clock_function(previous_clock_); }

    // The simulated clock in microseconds; starts at 0 with each link.
    static inline int64_t now_us = 0;
    static int64_t clock() { return now_us; }

    std::vector<Frame> sent;
    std::vector<std::string> filters;
    std::deque<Frame> replies;
    Responder responder;
    // Runs at the start of every receive_frame and take_waiting_frame: lets
    // a test act at a moment of the simulated time (ask for a stop, say).
    std::function<void()> on_receive;
    int receive_calls = 0;
    int waiting_checks = 0;   // take_waiting_frame calls
    int waiting_taken = 0;    // frames take_waiting_frame gave
    std::vector<int64_t> sent_at_us;  // clock at each send_frame
    int64_t idle_receive_us = 1000;   // what a receive_frame that finds nothing costs

    // Queues `frame` as arriving at `when_us` of the simulated clock.
    void deliver_at(int64_t when_us, Frame frame) { later_.emplace(when_us, std::move(frame)); }
    bool open = true;
    bool fail_sends = false;
    bool fail_filters = false;

    // The interface list the link offers, in list order; a missing address
    // makes interface_address fail as for a device without IPv4.
    struct Interface {
        std::string description;
        bool has_address = true;
        uint8_t address[4] = {0, 0, 0, 0};
    };
    std::vector<Interface> interfaces;
    ZdkStatus initialize_status = ZDK_SUCCESS;
    ZdkStatus open_status = ZDK_SUCCESS;
    int opened_index = -1;  // entry open_selected was last called on

    ZdkStatus initialize() override { return initialize_status; }

    ZdkStatus first_interface(const char** description) override {
        cursor_index_ = interfaces.empty() ? -1 : 0;
        if (cursor_index_ < 0) return ZDK_FAILED_QUERY_INTERFACE;
        if (description) *description = interfaces[0].description.c_str();
        return ZDK_SUCCESS;
    }
    ZdkStatus next_interface(const char** description) override {
        if (cursor_index_ < 0 || cursor_index_ + 1 >= static_cast<int>(interfaces.size())) {
            cursor_index_ = -1;
            return ZDK_NO_MORE_INTERFACES;
        }
        ++cursor_index_;
        if (description) *description = interfaces[cursor_index_].description.c_str();
        return ZDK_SUCCESS;
    }
    ZdkStatus interface_address(uint8_t address[4]) override {
        if (cursor_index_ < 0) return ZDK_NO_MORE_INTERFACES;
        const Interface& entry = interfaces[cursor_index_];
        if (!entry.has_address) return ZDK_FAILED_QUERY_INTERFACE;
        for (int i = 0; i < 4; ++i) address[i] = entry.address[i];
        return ZDK_SUCCESS;
    }
    ZdkStatus open_selected() override {
        if (cursor_index_ < 0) return ZDK_INTERFACE_FAIL;
        opened_index = cursor_index_;
        if (open_status == ZDK_SUCCESS) open = true;
        return open_status;
    }
    void close() override { open = false; }
    int is_open() override { return open ? 1 : 0; }

    ZdkStatus send_frame(const uint8_t* bytes, int length) override {
        if (!open) return ZDK_NO_CAPTURE_HANDLE;
        if (fail_sends) return ZDK_SEND_PACKET_FAILED;
        sent.emplace_back(bytes, bytes + length);
        sent_at_us.push_back(now_us);
        if (responder) responder(sent.back(), replies);
        return ZDK_SUCCESS;
    }

    ZdkStatus receive_frame(const uint8_t** bytes, int* length) override {
        if (!open) return ZDK_NO_CAPTURE_HANDLE;
        if (on_receive) on_receive();
        ++receive_calls;
        deliver_due();
        if (replies.empty()) {
            now_us += idle_receive_us;
            deliver_due();
            return ZDK_RECEIVE_PACKET_FAILED;
        }
        return take_front(bytes, length);
    }

    ZdkStatus take_waiting_frame(const uint8_t** bytes, int* length) override {
        if (!open) return ZDK_NO_CAPTURE_HANDLE;
        if (on_receive) on_receive();
        ++waiting_checks;
        deliver_due();
        if (replies.empty()) return ZDK_RECEIVE_PACKET_FAILED;
        ++waiting_taken;
        return take_front(bytes, length);
    }

    ZdkStatus set_filter(const char* filter_text) override {
        if (!open) return ZDK_NO_CAPTURE_HANDLE;
        filters.emplace_back(filter_text);
        return fail_filters ? ZDK_UNSUCCESSFUL : ZDK_SUCCESS;
    }

private:
    void deliver_due() {
        while (!later_.empty() && later_.begin()->first <= now_us) {
            replies.push_back(std::move(later_.begin()->second));
            later_.erase(later_.begin());
        }
    }
    ZdkStatus take_front(const uint8_t** bytes, int* length) {
        current_ = std::move(replies.front());
        replies.pop_front();
        *bytes = current_.data();
        *length = static_cast<int>(current_.size());
        return ZDK_SUCCESS;
    }

    ClockFunction previous_clock_;
    std::multimap<int64_t, Frame> later_;
    Frame current_;
    int cursor_index_ = -1;
};
