#include <cstdio>

#include "host_interface.h"
#include "pause.h"
#include "request.h"

namespace {

constexpr int POLL_RETRIES = 10;
constexpr int POLL_PAUSE_MS = 100;
constexpr int DOTS_EVERY = 20;
constexpr int DRAIN_CAPACITY = 1514;
// A device that keeps sending must not hold the drain forever.
constexpr int DRAIN_LIMIT = 10000;

void drain_late_replies(EthernetLink& link) {
    uint8_t scratch[DRAIN_CAPACITY];
    for (int drained = 0; drained < DRAIN_LIMIT; ++drained) {
        if (receive_message(link, scratch, DRAIN_CAPACITY, POLL_RETRIES) == 0) return;
    }
}

}  // namespace

int poll_word(EthernetLink& link, uint32_t address, int n, int rounds, uint32_t* value) {
    if (n < 0 || n > MESSAGE_DATA_CAPACITY) return 0;
    prepare_request(OPCODE_READ_MEMORY, address, n);
    send_request(link, HEADER_SIZE + n);
    int captured = receive_reply_counted(link, POLL_RETRIES);
    int passes = 0;
    while (captured == 0) {
        if (--rounds < 0) return 0;
        if (++passes % DOTS_EVERY == 0) std::printf(".");
        std::fflush(stdout);
        pause_ms(POLL_PAUSE_MS);
        captured = receive_reply_counted(link, POLL_RETRIES);
    }
    *value = get_le32(message_buffer + MESSAGE_DATA_OFFSET);
    int arrived = captured - HEADER_SIZE;
    return take_reply(captured, n < arrived ? n : arrived);
}

int wait_for_device(EthernetLink& link, uint32_t address, int n, int seconds, uint32_t* value,
                    int rounds) {
    if (rounds <= 0) return 0;
    int attempts = (seconds * 10) / rounds;
    if (attempts <= 0) return attempts;
    int result = 0;
    bool unanswered = false;
    for (int attempt = 0; attempt < attempts; ++attempt) {
        result = poll_word(link, address, n, rounds, value);
        if (result != 0) break;
        unanswered = true;
    }
    if (unanswered) drain_late_replies(link);
    return result;
}

void run_code(EthernetLink& link, uint32_t address) {
    prepare_request(OPCODE_RUN_CODE, address, 0);
    send_request(link, HEADER_SIZE);
}

void send_activate(EthernetLink& link) {
    prepare_request_keeping_address(OPCODE_ACTIVATE, 0);
    send_request(link, HEADER_SIZE);
}

int activate_device(EthernetLink& link) {
    send_activate(link);
    uint32_t value = 0;
    return wait_for_device(link, 0, 4, 60, &value, 5);
}
