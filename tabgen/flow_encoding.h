#pragma once

#include <cstdint>
#include <string_view>

// Bit fields of a flow record's control word.
constexpr uint16_t control_jitter_mask = 0x001C;   // bits 2-4
constexpr uint16_t control_latency_mask = 0x03E0;  // bits 5-9
constexpr uint16_t control_service_mask = 0x1C00;  // bits 10-12
constexpr uint16_t control_priority_mask = 0xE000; // bits 13-15
constexpr int control_jitter_shift = 2;
constexpr int control_latency_shift = 5;
constexpr int control_service_shift = 10;
constexpr int control_priority_shift = 13;

// 5 -> 1, 10 -> 2, 20 -> 3, anything else 0.
int jitter_code(int jitter);
// 1..5 -> 1..5, 10, 20 ... 100 -> 6 ... 15, anything else 0.
int latency_code(int latency);
// "B..." -> 3, "V..." -> 1, anything else 0.
int service_type_code(std::string_view value);

// Clears a control word field and sets it to `code`.
uint16_t with_field(uint16_t control, uint16_t mask, int shift, int code);

// Packet error rate code: mantissa r (base 7) in bits 5-7, the exponent as
// e*log2(7)+43 in bits 0-4. A rate <= 0, a packet size 0 or a value that is
// not a finite number gives 0.
uint8_t per_code(double per, unsigned packet_size);
