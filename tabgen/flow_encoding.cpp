#include "flow_encoding.h"

#include <algorithm>
#include <cmath>

int jitter_code(int jitter) {
    switch (jitter) {
        case 5: return 1;
        case 10: return 2;
        case 20: return 3;
        default: return 0;
    }
}

int latency_code(int latency) {
    if (latency >= 1 && latency <= 5) return latency;
    if (latency >= 10 && latency <= 100 && latency % 10 == 0) return latency / 10 + 5;
    return 0;
}

int service_type_code(std::string_view value) {
    if (value.starts_with('B')) return 3;
    if (value.starts_with('V')) return 1;
    return 0;
}

uint16_t with_field(uint16_t control, uint16_t mask, int shift, int code) {
    return static_cast<uint16_t>((control & ~mask) | ((static_cast<unsigned>(code) << shift) & mask));
}

uint8_t per_code(double per, unsigned packet_size) {
    if (!(per > 0) || packet_size == 0) return 0;
    const double x = per / (8.0 * packet_size);
    if (!std::isfinite(x) || !(x > 0)) return 0;
    double m = x;
    int e = 0;
    while (7 * m < 1) {
        m = 7 * m;
        --e;
    }
    --e;
    const double r = 7 * m;
    // The code has three mantissa bits and five exponent bits; rates outside
    // what they can hold are pinned to the nearest code instead of spilling
    // into the other field.
    const int mantissa = std::clamp(static_cast<int>(std::min(r, 7.0)), 0, 7);
    const int exponent = std::clamp(static_cast<int>(e * std::log2(7.0) + 43), 0, 31);
    return static_cast<uint8_t>((mantissa << 5) | exponent);
}
