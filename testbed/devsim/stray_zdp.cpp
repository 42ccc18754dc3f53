#include "stray_zdp.h"

#include "zdp_stations.h"

namespace {

// The last sequence number: a client that counts up from 0 reaches it last.
constexpr uint16_t stray_sequence = 0xFFFF;

}  // namespace

StrayZdp::StrayZdp(Device& device) : device_(device) {
    if (device_.options.stray_zdp_ms > 0) device_.scheduler.at(0, [this] { tick(); });
}

void StrayZdp::tick() {
    if (const auto& peer = device_.peer()) {
        const uint8_t* own = device_.options.mac.data();
        device_.send_unsolicited(zdp::reply_frame(peer->data(), own, zdp::ok, stray_sequence, {}));
    }
    device_.scheduler.at(device_.now_us() + int64_t{device_.options.stray_zdp_ms} * 1000, [this] { tick(); });
}
