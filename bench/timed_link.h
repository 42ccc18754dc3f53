#pragma once

#include <cstdint>
#include <functional>

#include "link/ethernet_link.h"

// Where the loader's time goes during one operation: frames sent, capture
// calls that brought a frame (the replies: with the sends, the transfers),
// capture calls that came back empty (the loader listening to a device that
// has nothing to say) and the loader's fixed pauses (pause_ms).
struct TimeShares {
    double total = 0;
    double send = 0;
    double reply = 0;
    double idle_capture = 0;
    double pause = 0;
    uint64_t sends = 0;
    uint64_t replies = 0;
    uint64_t idle_captures = 0;
    uint64_t pauses = 0;

    double transfer() const { return send + reply; }
    double waits() const { return idle_capture + pause; }
    double other() const { return total - transfer() - waits(); }

    TimeShares& operator+=(const TimeShares& more) {
        total += more.total;
        send += more.send;
        reply += more.reply;
        idle_capture += more.idle_capture;
        pause += more.pause;
        sends += more.sends;
        replies += more.replies;
        idle_captures += more.idle_captures;
        pauses += more.pauses;
        return *this;
    }
};

// The loader's link with a stopwatch on sending and capturing. Sent frames
// can also be shown to an observer (the ZDP benchmark marks pairs with it).
class TimedLink : public EthernetLink {
public:
    ZdkStatus send_frame(const uint8_t* bytes, int length) override;
    ZdkStatus receive_frame(const uint8_t** bytes, int* length) override;

    std::function<void(const uint8_t* bytes, int length)> on_send;

    // The link's figures with the pause figures since the last
    // count_pauses(): read together as one snapshot.
    TimeShares snapshot() const;

private:
    TimeShares shares_;
};

// Puts a pause in place of the loader's own that sleeps just as long and
// counts its time; snapshot() reports it.
void count_pauses();

// Runs `operation` and gives the time shares it spent.
TimeShares measure_shares(TimedLink& link, const std::function<void()>& operation);
