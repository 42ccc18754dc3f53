// Host-interface requests: memory and AFE register reads and writes, run
// code, ACTIVATE, the reset, the device-address query and the echo of
// foreign frames.
#include <algorithm>
#include <cstring>

#include "device.h"
#include "frame_layout.h"

void Device::serve_host_interface(const uint8_t* f, size_t length) {
    const int64_t late_us = late_first_us(f, length);
    size_t count = frame::get16le(f + frame::length) - frame::length_overhead;
    uint32_t address = frame::get32le(f + frame::address);
    const uint8_t* data = f + frame::data;
    uint8_t buffer[frame::max_data];

    switch (f[frame::opcode]) {
    case frame::run_code:  // an extension function runs until it is done
    case frame::activate:
        busy_ignoring(options.busy_ms);
        return;
    case frame::read_memory:
        for (const MemoryRange& r : options.unreadable)
            if (uint64_t{address} < uint64_t{r.address} + r.length && uint64_t{r.address} < uint64_t{address} + count)
                return;
        memory.read(address, buffer, count);
        reply(f, buffer, count, count, late_us);
        return;
    case frame::read_serial:
        afe.read(address, buffer, count);
        reply(f, buffer, count, count, late_us);
        return;
    case frame::write_memory:
        if (address == device_address::reset_control && count >= 4 &&
            frame::get32le(data) == device_address::reset_value) {
            reset();
            return;
        }
        if (options.short_write >= 0) count = std::min<size_t>(count, options.short_write);
        memory.write(address, data, count);
        reply_to_write(f, data, count, late_us);
        for (auto& watch : write_watchers_) watch(address, count);
        return;
    case frame::write_serial:
        if (options.short_write >= 0) count = std::min<size_t>(count, options.short_write);
        afe.write(address, data, count);
        reply_to_write(f, data, count, late_us);
        return;
    default:
        return;
    }
}

// --late-first-ms holds back the reply to a request that is not a copy of
// the one before it (a loader sends an unanswered request again unchanged),
// so that the copy is answered first and the late reply arrives after it.
int64_t Device::late_first_us(const uint8_t* f, size_t length) {
    const bool copy = last_request_.size() == length && std::equal(f, f + length, last_request_.begin());
    last_request_.assign(f, f + length);
    return copy ? 0 : int64_t{options.late_first_ms} * 1000;
}

// The reply repeats the request's header (opcode and address included, but
// for --no-echo), with bytes 18-22 and 24-27 from --reply-header when it is
// given. Its length field counts `count` data bytes, of which the first
// `carried` follow the header.
void Device::reply(const uint8_t* request, const uint8_t* data, size_t count, size_t carried, int64_t late_us) {
    std::vector<uint8_t> out(frame::header_size + carried);
    std::memcpy(out.data() + frame::destination, request + frame::source, 6);
    std::memcpy(out.data() + frame::source, options.mac.data(), 6);
    std::memcpy(out.data() + frame::ether_type, request + frame::ether_type, frame::header_size - 12);
    frame::put16le(out.data() + frame::length, static_cast<uint16_t>(frame::length_overhead + count));
    if (options.reply_header_set) {
        std::memcpy(out.data() + frame::template_head, options.reply_header.data(), 5);
        std::memcpy(out.data() + frame::template_tail, options.reply_header.data() + 5, 4);
    }
    if (options.no_echo) {
        out[frame::opcode] = 0;
        frame::put32le(out.data() + frame::address, 0);
    }
    if (carried > 0) std::memcpy(out.data() + frame::data, data, carried);
    send_host_reply(std::move(out), late_us);
}

// A write reply carries the written bytes back unless --bare-write-replies
// asks for the header alone; its length field counts them either way.
void Device::reply_to_write(const uint8_t* request, const uint8_t* data, size_t count, int64_t late_us) {
    reply(request, data, count, options.bare_write_replies ? 0 : count, late_us);
}

// --jitter-ms delays each reply by a time drawn from its range; --dup-prob
// sends a reply twice, the copy --dup-lag after it (at once for 0:0).
void Device::send_host_reply(std::vector<uint8_t> out, int64_t late_us) {
    auto draw_us = [this](const MsRange& range) {
        const uint64_t span_us = static_cast<uint64_t>(range.high - range.low) * 1000;
        const uint64_t extra_us = span_us > 0 ? reply_random_.next() % (span_us + 1) : 0;
        return int64_t{range.low} * 1000 + static_cast<int64_t>(extra_us);
    };
    const int64_t at_us = late_us + draw_us(options.jitter);
    if (!reply_random_.chance(options.dup_prob)) {
        send(std::move(out), at_us);
        return;
    }
    const int64_t copy_at_us = at_us + draw_us(options.dup_lag);
    send(out, at_us);
    send(std::move(out), copy_at_us);
}

// Nothing answers a reset; the device is gone for --reset-ms and then comes
// back with the boot mode register as it was.
void Device::reset() {
    busy_ignoring(options.reset_ms, [this] {
        for (auto& hook : reset_hooks_) hook();
    });
}

// Sent to the broadcast address with the device as source: that is what the
// loader's broadcast filter lets through. The answer repeats the query's
// bytes 12-31, or with --query-answer-hostif carries 80 01 and zeros: the
// loader relies on nothing but the source address.
void Device::answer_address_query(const uint8_t* f, size_t length) {
    std::vector<uint8_t> out(frame::header_size, 0);
    std::memset(out.data() + frame::destination, 0xFF, 6);
    std::memcpy(out.data() + frame::source, options.mac.data(), 6);
    if (options.query_answer_hostif) {
        frame::put16be(out.data() + frame::ether_type, frame::ether_type_value);
        out[frame::protocol_mark] = frame::protocol_mark_value;
        out[frame::sub_protocol] = frame::host_interface;
    } else {
        size_t copied = std::min<size_t>(length, frame::header_size) - frame::ether_type;
        std::memcpy(out.data() + frame::ether_type, f + frame::ether_type, copied);
    }
    if (options.query_delay_ms <= 0) {
        send(std::move(out));
        return;
    }
    // Devices on one wire answer one broadcast query at different times.
    scheduler.at(now_us_ + int64_t{options.query_delay_ms} * 1000,
                 [this, out = std::move(out)]() mutable { send(std::move(out)); });
}

void Device::echo(const uint8_t* f, size_t length) {
    std::vector<uint8_t> out(f, f + length);
    std::memcpy(out.data() + frame::destination, f + frame::source, 6);
    std::memcpy(out.data() + frame::source, f + frame::destination, 6);
    ++counters.echoed;
    send(std::move(out));
}
