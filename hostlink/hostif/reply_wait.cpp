#include <cstdio>
#include <cstring>

#include "host_interface.h"
#include "link/ethernet_link.h"
#include "pause.h"
#include "request.h"
#include "settings/settings.h"
#include "stop/stop_request.h"

namespace {

// How long a request listens for its reply after each send. A device
// answers within microseconds; the window leaves room for a busy PC and a
// slow device without making an unanswered request last long.
constexpr int64_t REPLY_WINDOW_US = 100'000;
// After trouble, how long the device must have sent nothing before the next
// request goes out: late replies to the sends of a request come within about
// a window of each other, so twice that means none is still on its way.
constexpr int64_t QUIET_US = 2 * REPLY_WINDOW_US;
// A device that never falls quiet costs at most this much per request.
constexpr int64_t QUIET_LIMIT_US = 2'000'000;

// The quiet period the next request owes, and since when the device is
// known to have sent nothing.
bool quiet_owed = false;
int64_t heard_last_us = 0;

// Only the host interface answers host-interface requests; a test protocol
// frame (80 02) or anything else that passes the filter is no reply.
bool is_host_interface_reply(const uint8_t* frame, int length) {
    return length > HEADER_SIZE && frame[14] == 0x80 && frame[15] == 0x01;
}

void report_skipped(const uint8_t* frame) {
    if (debug_level >= 3)
        std::printf("Skipped a stale reply: opcode %u at 0x%08x, length field %d\n", frame[23],
                    get_le32(frame + 28), frame[16] | frame[17] << 8);
}

// One capture call; a reply that answers `request` is copied into
// message_buffer. Stale replies are counted and leave message_buffer (the
// data of a write that may be sent again) alone.
int capture_reply(EthernetLink& link, const RequestShape& request, Hearing& heard) {
    const uint8_t* bytes = nullptr;
    const int length = capture_frame(link, MESSAGE_BUFFER_SIZE, &bytes);
    if (length <= 0 || !is_host_interface_reply(bytes, length)) return 0;
    switch (judge_reply(request, bytes, length)) {
    case ReplyFit::answers:
        learn_from_reply(request, bytes);
        std::memcpy(message_buffer, bytes, length);
        return length;
    case ReplyFit::wrong_size: ++heard.wrong_size; break;
    case ReplyFit::not_echoed: ++heard.not_echoed; break;
    case ReplyFit::echoes_earlier: ++heard.echoes_earlier; break;
    }
    report_skipped(bytes);
    return 0;
}

// Takes what has already arrived, without waiting; the number of frames.
int drop_waiting_frames(EthernetLink& link) {
    const uint8_t* bytes = nullptr;
    int length = 0;
    int dropped = 0;
    int64_t start = 0;  // read only once there is something to drop
    while (!stop_requested() && link.take_waiting_frame(&bytes, &length) == ZDK_SUCCESS) {
        if (++dropped == 1) {
            start = clock_us();
        } else if (clock_us() - start >= DRAIN_LIMIT_US) {
            break;
        }
    }
    if (dropped > 0 && debug_level >= 3) std::printf("Dropped %d stale frame(s) before the request\n", dropped);
    return dropped;
}

// Drops whatever arrives until the device has sent nothing for QUIET_US.
void wait_for_quiet(EthernetLink& link, bool heard_just_now) {
    const int64_t start = clock_us();
    if (heard_just_now) heard_last_us = start;
    int dropped = 0;
    for (int64_t now = start; now - start < QUIET_LIMIT_US && !stop_requested(); now = clock_us()) {
        const uint8_t* bytes = nullptr;
        int length = 0;
        // Quiet by the clock only counts when nothing is waiting either: a
        // loader kept from running since its last look has not seen what
        // came meanwhile.
        const bool quiet_by_the_clock = now - heard_last_us >= QUIET_US;
        const ZdkStatus status =
            quiet_by_the_clock ? link.take_waiting_frame(&bytes, &length) : link.receive_frame(&bytes, &length);
        if (status == ZDK_SUCCESS) {
            ++dropped;
            heard_last_us = clock_us();
        } else if (quiet_by_the_clock || status != ZDK_RECEIVE_PACKET_FAILED) {
            break;  // quiet, or the link itself failed and nothing more will come
        }
    }
    quiet_owed = false;
    if (debug_level >= 3)
        std::printf("Waited %d ms for the device to be quiet, dropped %d more frame(s)\n",
                    int((clock_us() - start) / 1000), dropped);
}

void clear_the_way(EthernetLink& link) {
    const bool dropped = drop_waiting_frames(link) > 0;
    if (quiet_owed) wait_for_quiet(link, dropped);
}

// Every host-interface request goes out here, so that a late reply to any
// of them can be told by its opcode and address.
int send_noted(EthernetLink& link, int length) {
    note_request(message_buffer[23], get_le32(message_buffer + 28));
    return send_message(link, message_buffer, length);
}

// At least one capture call, so that a reply that came while the loader was
// kept from running is still taken.
int receive_reply_until(EthernetLink& link, const RequestShape& request, int64_t deadline_us, Hearing& heard) {
    do {
        const int captured = capture_reply(link, request, heard);
        if (captured > 0) return captured;
    } while (clock_us() < deadline_us && !stop_requested());
    return 0;
}

// One send of the request and its window: the reply's length, 0 without
// one, -1 when the send failed.
int send_and_listen(EthernetLink& link, const RequestShape& request, Hearing& heard) {
    prepare_request(request.opcode, request.address, request.n);
    if (send_noted(link, HEADER_SIZE + request.n) == 0) return -1;
    return receive_reply_until(link, request, clock_us() + REPLY_WINDOW_US, heard);
}

}  // namespace

void owe_quiet() {
    quiet_owed = true;
    heard_last_us = clock_us();
}

void forget_reply_history() {
    forget_reply_habits();
    quiet_owed = false;
}

int send_request(EthernetLink& link, int length) {
    clear_the_way(link);
    return send_noted(link, length);
}

int receive_reply_counted(EthernetLink& link, const RequestShape& request, int retries, Hearing& heard) {
    for (int call = 0; call <= retries && !stop_requested(); ++call) {
        const int captured = capture_reply(link, request, heard);
        if (captured > 0) return captured;
    }
    return 0;
}

int exchange_request(EthernetLink& link, uint8_t opcode, uint32_t address, int n) {
    clear_the_way(link);
    const RequestShape request{opcode, address, n};
    bool troubled = false;
    bool only_misechoed = true;
    for (int send = 0; send < REQUEST_SENDS; ++send) {
        Hearing heard;
        const int captured = send_and_listen(link, request, heard);
        if (captured < 0) return -1;
        troubled = troubled || send > 0 || heard.skipped() > 0;
        if (captured > 0) {
            if (troubled) owe_quiet();
            return captured;
        }
        only_misechoed = only_misechoed && heard.only_misechoed();
        // One line per window that ended without its reply, so that a long
        // run can count how often the wire or the device made it resend.
        if (debug_level >= 3 && !stop_requested())
            std::printf("No reply within %d ms to send %d of %d\n", int(REPLY_WINDOW_US / 1000), send + 1,
                        REQUEST_SENDS);
    }
    owe_quiet();
    if (!only_misechoed) return 0;
    // Every send was answered, but never in the way the loader expected:
    // the device has changed its habit, or what it puts in place of opcode
    // and address met an earlier request. Once it has fallen quiet, a reply
    // to one more send can only be that send's own.
    stop_judging_by_echo(opcode);
    clear_the_way(link);
    Hearing heard;
    const int captured = send_and_listen(link, request, heard);
    owe_quiet();
    return captured;
}
