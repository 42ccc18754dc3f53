#pragma once

#include <cstdint>
#include <functional>

class ZdpClient;

// Default acknowledgement time-out of a node argument without one.
constexpr int ZDP_DEFAULT_ACK_TIMEOUT_MS = 1000;

// Polls (five attempts) for the reply to the client's last request; true when
// it acknowledges. *frame / *length then designate the reply (valid until the
// next receive on the link).
bool wait_ack(ZdpClient& zdp, const uint8_t** frame, int* length = nullptr);

// What the acknowledgement loop does in a pass without acknowledgement, before
// it sleeps; returning false ends the wait at once (not acknowledged).
using IdlePass = std::function<bool()>;

// The acknowledgement loop: polls until the calendar second reaches the
// whole-second deadline start + timeout_ms (no deadline for a negative
// time-out), sleeping sleep_ms between passes. 0 on acknowledgement, -1 when
// the time ran out, idle_pass gave up or a signal asked for a stop (checked
// in every pass, so the wait without deadline ends too).
int await_ack(ZdpClient& zdp, int timeout_ms, int sleep_ms, const uint8_t** frame = nullptr,
              int* length = nullptr, const IdlePass& idle_pass = nullptr);

// The loop with 50 ms sleeps; prints " OK " on acknowledgement at debug level 2 or more.
int wait_ack_for(ZdpClient& zdp, int timeout_ms);

// Node argument "XX:XX:XX:XX:XX:XX [timeout]" (':' '-' ',' ' ' separate). Sets
// *timeout_ms to the given value or 1000 once six bytes were read; 0 when the
// text ended before the sixth byte (bytes read so far are kept).
int parse_node_argument(const char* text, uint8_t address[6], int* timeout_ms);
