#include "stray_zdp.h"

#include <algorithm>

#include "frame_layout.h"
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
        std::vector<uint8_t> out(zdp::segments + 2, 0);  // header, end marker
        std::copy(peer->begin(), peer->end(), out.begin() + frame::destination);
        std::copy(device_.options.mac.begin(), device_.options.mac.end(), out.begin() + frame::source);
        frame::put16be(&out[frame::ether_type], frame::ether_type_value);
        out[frame::protocol_mark] = frame::protocol_mark_value;
        out[frame::sub_protocol] = frame::zdp;
        frame::put16be(&out[zdp::length], static_cast<uint16_t>(zdp::length_overhead));
        out[zdp::opcode] = zdp::ok;
        frame::put16be(&out[zdp::sequence], stray_sequence);
        device_.send_unsolicited(std::move(out));
    }
    device_.scheduler.at(device_.now_us() + int64_t{device_.options.stray_zdp_ms} * 1000, [this] { tick(); });
}
