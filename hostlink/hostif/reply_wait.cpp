#include <cstdio>
#include <cstring>

#include "host_interface.h"
#include "link/ethernet_link.h"
#include "pause.h"
#include "request.h"
#include "settings/settings.h"

namespace {

// How long a request listens for its reply after each send. A device
// answers within microseconds; the window leaves room for a busy PC and a
// slow device without making an unanswered request last long.
constexpr int64_t REPLY_WINDOW_US = 100'000;
constexpr int REQUEST_SENDS = 5;
// A device that keeps sending must not hold the drop of waiting frames forever.
constexpr int WAITING_FRAMES_LIMIT = 10000;

// Only the host interface answers host-interface requests; a test protocol
// frame (80 02) or anything else that passes the filter is no reply.
bool is_host_interface_reply(const uint8_t* frame, int length) {
    return length > HEADER_SIZE && frame[14] == 0x80 && frame[15] == 0x01;
}

// One capture call; a reply is copied into message_buffer.
int capture_reply(EthernetLink& link) {
    const uint8_t* bytes = nullptr;
    const int length = capture_frame(link, MESSAGE_BUFFER_SIZE, &bytes);
    if (length <= 0 || !is_host_interface_reply(bytes, length)) return 0;
    std::memcpy(message_buffer, bytes, length);
    return length;
}

void drop_waiting_frames(EthernetLink& link) {
    const uint8_t* bytes = nullptr;
    int length = 0;
    int dropped = 0;
    while (dropped < WAITING_FRAMES_LIMIT && link.take_waiting_frame(&bytes, &length) == ZDK_SUCCESS) ++dropped;
    if (dropped > 0 && debug_level >= 3) std::printf("Dropped %d stale frame(s) before the request\n", dropped);
}

// At least one capture call, so that a reply that came while the loader was
// kept from running is still taken.
int receive_reply_until(EthernetLink& link, int64_t deadline_us) {
    do {
        const int captured = capture_reply(link);
        if (captured > 0) return captured;
    } while (clock_us() < deadline_us);
    return 0;
}

}  // namespace

int send_request(EthernetLink& link, int length) {
    drop_waiting_frames(link);
    return send_message(link, message_buffer, length);
}

int receive_reply_counted(EthernetLink& link, int retries) {
    for (int call = 0; call <= retries; ++call) {
        const int captured = capture_reply(link);
        if (captured > 0) return captured;
    }
    return 0;
}

int exchange_request(EthernetLink& link, uint8_t opcode, uint32_t address, int n) {
    drop_waiting_frames(link);
    for (int send = 0; send < REQUEST_SENDS; ++send) {
        prepare_request(opcode, address, n);
        if (send_message(link, message_buffer, HEADER_SIZE + n) == 0) return -1;
        const int captured = receive_reply_until(link, clock_us() + REPLY_WINDOW_US);
        if (captured > 0) return captured;
        // One line per window that ended without its reply, so that a long
        // run can count how often the wire or the device made it resend.
        if (debug_level >= 3)
            std::printf("No reply within %d ms to send %d of %d\n", int(REPLY_WINDOW_US / 1000), send + 1,
                        REQUEST_SENDS);
    }
    return 0;
}
