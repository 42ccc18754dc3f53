#include "zdp_ack.h"

#include <cstdio>
#include <cstdlib>

#include "settings/settings.h"
#include "stop/stop_request.h"
#include "token_reader.h"
#include "zdp_client.h"

bool wait_ack(ZdpClient& zdp, const uint8_t** frame, int* length) {
    const uint8_t* reply = nullptr;
    int reply_length = 0;
    uint8_t opcode = 0;
    if (zdp.poll_reply(&reply, &reply_length, &opcode, 5) != ZDK_SUCCESS) return false;
    if (frame != nullptr) *frame = reply;
    if (length != nullptr) *length = reply_length;
    return true;
}

int await_ack(ZdpClient& zdp, int timeout_ms, int sleep_ms, const uint8_t** frame, int* length,
              const IdlePass& idle_pass) {
    ZdpPacing& pacing = zdp.pacing();
    long long start = pacing.now_seconds();
    long long deadline = static_cast<long long>(static_cast<double>(start) + timeout_ms * 0.001);
    while ((timeout_ms < 0 || pacing.now_seconds() < deadline) && !stop_requested()) {
        if (wait_ack(zdp, frame, length)) return 0;
        if (stop_requested()) break;
        if (idle_pass && !idle_pass()) return -1;
        pacing.sleep_ms(sleep_ms);
    }
    return -1;
}

int wait_ack_for(ZdpClient& zdp, int timeout_ms) {
    if (await_ack(zdp, timeout_ms, 50) != 0) return -1;
    if (debug_level >= 2) std::printf(" OK ");
    return 0;
}

int parse_node_argument(const char* text, uint8_t address[6], int* timeout_ms) {
    TokenReader tokens(text);
    for (int i = 0; i < 6; ++i) {
        const char* token = tokens.next(i == 0 ? " :-" : ":-, ");
        if (token == nullptr) return 0;
        address[i] = static_cast<uint8_t>(std::strtoul(token, nullptr, 16));
    }
    *timeout_ms = ZDP_DEFAULT_ACK_TIMEOUT_MS;
    const char* timeout = tokens.next(" ,\n");
    if (timeout != nullptr) *timeout_ms = std::atoi(timeout);
    return 1;
}
