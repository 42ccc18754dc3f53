#include "device.h"

#include <algorithm>

#include "frame_layout.h"

Device::Device(const DevsimOptions& options_in, Wire& wire)
    : options(options_in),
      wire_(wire),
      drop_random_(options_in.seed),
      reply_random_(options_in.seed ^ 0x5245504C59464C54ull),
      drop_first_left_(options_in.drop_first) {
    memory.write_half(device_address::fw_version, options.fw_version);
    memory.write_word(device_address::link_status, options.link_status);
    memory.write_word(device_address::net_mode, options.net_mode);
    memory.write_word(device_address::boot_mode, options.boot_mode);
}

void Device::advance(int64_t now_us) {
    now_us_ = std::max(now_us_, now_us);
    scheduler.run_due(now_us_);
}

bool Device::is_station(const uint8_t* mac) const {
    for (const auto& s : stations_)
        if (frame::same_mac(mac, s.data())) return true;
    return false;
}

void Device::receive(const uint8_t* f, size_t length, int64_t now_us) {
    advance(now_us);
    ++counters.received;
    if (length < 14) {
        ++counters.malformed;
        return;
    }
    if (frame::get16be(f + frame::ether_type) != frame::ether_type_value) return;
    const uint8_t* dst = f + frame::destination;
    bool to_device = frame::same_mac(dst, options.mac.data());
    bool broadcast = frame::is_broadcast(dst);
    bool to_station = is_station(dst);
    if (!to_device && !broadcast && !to_station) return;
    if (length < frame::sub_protocol + 1) {
        if (to_device) ++counters.malformed;
        return;
    }
    uint8_t mark = f[frame::protocol_mark];
    uint8_t sub = f[frame::sub_protocol];

    if (mark == frame::query_mark && sub == frame::query_sub) {
        if (to_device || broadcast) gate(Kind::address_query, f, length);
        return;
    }
    if (mark == frame::protocol_mark_value && sub != frame::host_interface) {
        auto handler = sub_protocols_.find(sub);
        if (handler != sub_protocols_.end()) {
            if (!to_device && !to_station) return;
            if (options.silent) {
                ++counters.dropped;
                return;
            }
            handler->second(f, length);
            return;
        }
    }
    if (!to_device) return;
    if (mark == frame::protocol_mark_value && sub == frame::host_interface) {
        if (host_interface_malformed(f, length)) {
            ++counters.malformed;
            return;
        }
        peer_.emplace();
        std::copy(f + frame::source, f + frame::source + 6, peer_->begin());
        gate(Kind::host_interface, f, length);
        return;
    }
    // Sub-protocol numbers are small; 0x80 followed by one that is neither
    // known nor has its top bit set is a broken frame. Anything else is a
    // foreign frame (the loader's loopback pattern puts arbitrary bytes here,
    // 0x80 0x81 among them) and goes back to its sender.
    if (mark == frame::protocol_mark_value && sub < 0x80) {
        ++counters.malformed;
        return;
    }
    gate(Kind::foreign, f, length);
}

bool Device::host_interface_malformed(const uint8_t* f, size_t length) const {
    if (length < frame::header_size) return true;
    size_t field = frame::get16le(f + frame::length);
    if (field < frame::length_overhead) return true;
    if (field - frame::length_overhead > frame::max_data) return true;
    if (frame::length + 4 + field > length) return true;  // message runs past the frame
    uint8_t op = f[frame::opcode];
    return op < frame::run_code || op > frame::write_serial;
}

void Device::gate(Kind kind, const uint8_t* f, size_t length) {
    if (busy()) {
        if (busy_holds_) {
            held_.emplace_back(kind, std::vector<uint8_t>(f, f + length));
        } else {
            ++counters.busy;
        }
        return;
    }
    if (lost_on_purpose()) {
        ++counters.dropped;
        return;
    }
    act(kind, f, length);
}

bool Device::lost_on_purpose() {
    if (options.silent) return true;
    if (drop_first_left_ > 0) {
        --drop_first_left_;
        return true;
    }
    return drop_random_.chance(options.drop_prob);
}

void Device::act(Kind kind, const uint8_t* f, size_t length) {
    switch (kind) {
    case Kind::host_interface: serve_host_interface(f, length); break;
    case Kind::address_query: answer_address_query(f, length); break;
    case Kind::foreign: echo(f, length); break;
    }
}

void Device::send(std::vector<uint8_t> bytes, int64_t extra_us) {
    if (bytes.size() < frame::min_frame) bytes.resize(frame::min_frame, 0);
    ++counters.answered;
    const int64_t delay_us = int64_t{options.delay_ms} * 1000 + extra_us;
    if (delay_us <= 0) {
        wire_.transmit(bytes.data(), bytes.size());
        return;
    }
    scheduler.at(now_us_ + delay_us, [this, bytes = std::move(bytes)] { wire_.transmit(bytes.data(), bytes.size()); });
}

void Device::send_unsolicited(std::vector<uint8_t> bytes) {
    if (bytes.size() < frame::min_frame) bytes.resize(frame::min_frame, 0);
    wire_.transmit(bytes.data(), bytes.size());
}

void Device::busy_ignoring(int ms, std::function<void()> done) { start_busy(ms, false, std::move(done)); }

void Device::busy_holding(int ms, std::function<void()> done) { start_busy(ms, true, std::move(done)); }

void Device::start_busy(int ms, bool hold, std::function<void()> done) {
    int64_t until = now_us_ + int64_t{std::max(ms, 0)} * 1000;
    busy_until_us_ = std::max(busy_until_us_, until);
    busy_holds_ = hold;
    scheduler.at(until, [this, done = std::move(done)] {
        if (done) done();
        if (!busy()) replay_held();
    });
}

void Device::replay_held() {
    while (!held_.empty() && !busy()) {
        auto [kind, bytes] = std::move(held_.front());
        held_.pop_front();
        gate(kind, bytes.data(), bytes.size());
    }
}
