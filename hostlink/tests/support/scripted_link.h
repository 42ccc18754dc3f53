#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "link/ethernet_link.h"

// A link substitute for unit tests: records every frame sent and filter set,
// and answers receive_frame from a queue of frames, or from a responder that
// sees each sent frame and may queue replies to it.
class ScriptedLink : public EthernetLink {
public:
    using Frame = std::vector<uint8_t>;
    // Called after each send_frame; may push replies into `replies`.
    using Responder = std::function<void(const Frame& sent, std::deque<Frame>& replies)>;

    std::vector<Frame> sent;
    std::vector<std::string> filters;
    std::deque<Frame> replies;
    Responder responder;
    int receive_calls = 0;
    bool open = true;
    bool fail_sends = false;
    bool fail_filters = false;

    ZdkStatus initialize() override { return ZDK_SUCCESS; }
    void close() override { open = false; }
    int is_open() override { return open ? 1 : 0; }

    ZdkStatus send_frame(const uint8_t* bytes, int length) override {
        if (!open) return ZDK_NO_CAPTURE_HANDLE;
        if (fail_sends) return ZDK_SEND_PACKET_FAILED;
        sent.emplace_back(bytes, bytes + length);
        if (responder) responder(sent.back(), replies);
        return ZDK_SUCCESS;
    }

    ZdkStatus receive_frame(const uint8_t** bytes, int* length) override {
        if (!open) return ZDK_NO_CAPTURE_HANDLE;
        ++receive_calls;
        if (replies.empty()) return ZDK_RECEIVE_PACKET_FAILED;
        current_ = std::move(replies.front());
        replies.pop_front();
        *bytes = current_.data();
        *length = static_cast<int>(current_.size());
        return ZDK_SUCCESS;
    }

    ZdkStatus set_filter(const char* filter_text) override {
        if (!open) return ZDK_NO_CAPTURE_HANDLE;
        filters.emplace_back(filter_text);
        return fail_filters ? ZDK_UNSUCCESSFUL : ZDK_SUCCESS;
    }

private:
    Frame current_;
};
