#include <cstdio>

#include "host_interface.h"
#include "pause.h"
#include "request.h"
#include "stop/stop_request.h"

namespace {

constexpr int POLL_RETRIES = 10;
constexpr int64_t POLL_PASS_US = 100'000;
constexpr int DOTS_EVERY = 20;
constexpr int DRAIN_CAPACITY = 1514;

// Ends when one receive finds nothing, or after DRAIN_LIMIT_US of a device
// that keeps sending.
void drain_late_replies(EthernetLink& link) {
    uint8_t scratch[DRAIN_CAPACITY];
    const int64_t start = clock_us();
    while (clock_us() - start < DRAIN_LIMIT_US && !stop_requested()) {
        if (receive_message(link, scratch, DRAIN_CAPACITY, POLL_RETRIES) == 0) return;
    }
}

// Sleeps until the clock reaches `wake_us`; not at all when it already has
// (the listening took longer than the pass).
void pause_until(int64_t wake_us) {
    const int64_t left = wake_us - clock_us();
    if (left > 0) pause_ms(int((left + 999) / 1000));
}

void send_poll(EthernetLink& link, uint32_t address, int n) {
    prepare_request(OPCODE_READ_MEMORY, address, n);
    send_request(link, HEADER_SIZE + n);
}

// The listening of poll_word after its send, with the passes listening at
// start_us + 100 ms, + 200 ms, and so on, so that the time spent listening
// does not add up over many passes.
int listen_on_schedule(EthernetLink& link, uint32_t address, int n, int rounds, uint32_t* value,
                       int64_t start_us, Hearing& heard) {
    const RequestShape request{OPCODE_READ_MEMORY, address, n};
    int captured = receive_reply_counted(link, request, POLL_RETRIES, heard);
    int passes = 0;
    while (captured == 0 && --rounds >= 0 && !stop_requested()) {
        if (++passes % DOTS_EVERY == 0) std::printf(".");
        std::fflush(stdout);
        pause_until(start_us + passes * POLL_PASS_US);
        captured = receive_reply_counted(link, request, POLL_RETRIES, heard);
    }
    if (heard.skipped() > 0) owe_quiet();
    if (captured == 0) return 0;
    *value = get_le32(message_buffer + MESSAGE_DATA_OFFSET);
    int arrived = captured - HEADER_SIZE;
    return take_reply(captured, n < arrived ? n : arrived);
}

}  // namespace

int poll_word(EthernetLink& link, uint32_t address, int n, int rounds, uint32_t* value) {
    if (n < 0 || n > MESSAGE_DATA_CAPACITY) return 0;
    send_poll(link, address, n);
    Hearing heard;
    return listen_on_schedule(link, address, n, rounds, value, clock_us(), heard);
}

// Attempt k polls from start + k x rounds x 100 ms on, so that the whole wait
// lasts the seconds it is given.
int wait_for_device(EthernetLink& link, uint32_t address, int n, int seconds, uint32_t* value,
                    int rounds) {
    if (rounds <= 0) return 0;
    int attempts = (seconds * 10) / rounds;
    if (attempts <= 0) return attempts;
    if (n < 0 || n > MESSAGE_DATA_CAPACITY) return 0;
    const int64_t start = clock_us();
    int result = 0;
    bool unanswered = false;
    int misechoed_in_a_row = 0;
    for (int attempt = 0; attempt < attempts && !stop_requested(); ++attempt) {
        send_poll(link, address, n);
        Hearing heard;
        result = listen_on_schedule(link, address, n, rounds, value,
                                    start + int64_t(attempt) * rounds * POLL_PASS_US, heard);
        if (result != 0) break;
        unanswered = true;
        // Answered as many times as a request is sent, but never as the
        // loader expected: the device has changed its habit (new code after
        // a reset) or its replies meet an earlier request by chance, and the
        // next poll, after the quiet period owed, is judged by the rules
        // left. One stale frame while the device is away proves nothing.
        misechoed_in_a_row = heard.only_misechoed() ? misechoed_in_a_row + 1 : 0;
        if (misechoed_in_a_row == REQUEST_SENDS) stop_judging_by_echo(OPCODE_READ_MEMORY);
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
