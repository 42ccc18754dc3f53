#include "zdp_stations.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "demodulator_samples.h"
#include "frame_layout.h"

namespace {

struct Segment {
    uint16_t type = 0;
    uint16_t length = 0;
    const uint8_t* value = nullptr;
};

// The segments between the header and the end the length field gives; false
// when the length field or a segment runs past the frame.
bool read_segments(const uint8_t* f, size_t frame_length, std::vector<Segment>& out) {
    if (frame_length < zdp::segments) return false;
    size_t field = frame::get16be(f + zdp::length);
    if (field < zdp::length_overhead) return false;
    size_t end = zdp::length + field;
    if (end > frame_length) return false;
    for (size_t at = zdp::segments; at + 4 <= end;) {
        Segment s{frame::get16be(f + at), frame::get16be(f + at + 2), f + at + 4};
        if (at + 4 + s.length > end) return false;
        out.push_back(s);
        at += 4 + ((s.length + 3u) & ~3u);
    }
    return true;
}

const Segment* find(const std::vector<Segment>& segments, uint16_t type, uint16_t length) {
    for (const auto& s : segments)
        if (s.type == type && s.length >= length) return &s;
    return nullptr;
}

void append_segment(std::vector<uint8_t>& out, uint16_t type, const uint8_t* value, uint16_t length) {
    size_t at = out.size();
    out.resize(at + 4 + ((length + 3u) & ~3u), 0);
    frame::put16be(&out[at], type);
    frame::put16be(&out[at + 2], length);
    if (length) std::memcpy(&out[at + 4], value, length);
}

void append_u32_segment(std::vector<uint8_t>& out, uint16_t type, uint32_t value) {
    uint8_t v[4] = {static_cast<uint8_t>(value >> 24), static_cast<uint8_t>(value >> 16),
                    static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)};
    append_segment(out, type, v, 4);
}

constexpr uint16_t segment_error = 0x0001;
constexpr uint16_t segment_transfer = 0x0005;
constexpr uint16_t segment_txpe = 0x0010;
constexpr uint16_t segment_sa = 0x0081;
constexpr uint16_t segment_da = 0x0083;
constexpr uint16_t segment_length = 0x0086;
constexpr uint16_t segment_npkts = 0x0087;
constexpr uint16_t segment_numacks = 0x008A;
constexpr uint16_t segment_txpe_test = 0x008B;
constexpr uint16_t first_transmit_counter = 0x0101;
constexpr uint16_t first_receive_counter = 0x0105;
constexpr uint16_t segment_sample = 0x0110;
constexpr int samples_per_report = 16;
// Simulated time on the line per packet, for the elapsed-time counters.
constexpr uint32_t packet_time_us = 100;

}  // namespace

ZdpStations::ZdpStations(Device& device)
    : device_(device),
      drop_random_(device.options.seed ^ 0x5A44505F44524F50ull),
      loss_random_(device.options.seed ^ 0x5A44505F4C4F5353ull) {
    stations_.emplace_back().mac = device.options.mac;
    for (const auto& mac : device.options.nodes) {
        if (station_at(mac.data())) continue;
        stations_.emplace_back().mac = mac;
        device_.add_station(mac);
    }
    device_.serve_sub_protocol(frame::zdp, [this](const uint8_t* f, size_t n) { receive(f, n); });
    preset_tables();
}

ZdpStations::Station* ZdpStations::station_at(const uint8_t* mac) {
    for (auto& s : stations_)
        if (frame::same_mac(s.mac.data(), mac)) return &s;
    return nullptr;
}

// The device lists the other stations it has seen, each with a transmit and
// a receive channel at the configured encoding.
void ZdpStations::preset_tables() {
    SparseMemory& memory = device_.memory;
    const auto& nodes = device_.options.nodes;
    uint32_t count = static_cast<uint32_t>(std::min<size_t>(nodes.size(), 255));
    memory.write_word(station_address::count, count << 16);
    const MacAddress& own = device_.options.mac;
    uint8_t pe = static_cast<uint8_t>(device_.options.pe);
    for (uint32_t k = 0; k < count; ++k) {
        uint8_t entry[station_address::rx_entry] = {};
        std::memcpy(entry + 20, nodes[k].data(), 6);
        std::memcpy(entry + 26, nodes[k].data(), 6);
        memory.write(station_address::stations + k * station_address::station_entry, entry,
                     station_address::station_entry);

        std::memset(entry, 0, sizeof entry);
        std::memcpy(entry + 8, nodes[k].data(), 6);
        std::memcpy(entry + 14, own.data(), 6);
        entry[47] = pe;
        memory.write(station_address::tx_channels + k * station_address::tx_entry, entry, station_address::tx_entry);
        entry[47] = 0;
        entry[38] = pe;
        memory.write(station_address::rx_channels + k * station_address::rx_entry, entry, station_address::rx_entry);
    }
}

void ZdpStations::receive(const uint8_t* f, size_t length) {
    Station* station = station_at(f + frame::destination);
    if (!station) return;
    std::vector<Segment> segments;
    if (!read_segments(f, length, segments)) {
        ++device_.counters.malformed;
        return;
    }
    if (drop_random_.chance(device_.options.zdp_drop)) {
        ++device_.counters.dropped;
        return;
    }
    if (device_.options.zdp_error >= 0) {
        uint8_t code = static_cast<uint8_t>(device_.options.zdp_error);
        std::vector<uint8_t> error;
        append_segment(error, segment_error, &code, 1);
        answer(*station, f, zdp::error, error);
        return;
    }
    serve(*station, f, length);
}

void ZdpStations::serve(Station& station, const uint8_t* f, size_t length) {
    std::vector<Segment> segments;
    read_segments(f, length, segments);
    uint16_t sequence = frame::get16be(f + zdp::sequence);
    int refused = 0;
    switch (f[zdp::opcode]) {
    case zdp::enable_cert:
        station.cert = true;
        station.counters = Counters{};
        break;
    case zdp::disable_cert: station.cert = false; break;
    case zdp::config_node:
        if (const Segment* s = find(segments, segment_txpe, 1)) station.node_txpe = s->value[0];
        break;
    case zdp::config_send: refused = accept_config_send(station, sequence, f); break;
    case zdp::config_recv:
        station.counters.receive = {};
        break;
    case zdp::start_send: refused = start(station, f); break;
    case zdp::report_stats: answer(station, f, zdp::ok, statistics(station.counters)); return;
    case zdp::reset_stats: {
        // Read and clear: the reply shows what was counted until now.
        std::vector<uint8_t> report = statistics(station.counters);
        station.counters = Counters{};
        answer(station, f, zdp::ok, report);
        return;
    }
    default: break;
    }
    if (refused) {
        uint8_t code = static_cast<uint8_t>(refused);
        std::vector<uint8_t> error;
        append_segment(error, segment_error, &code, 1);
        answer(station, f, zdp::error, error);
        return;
    }
    if (f[zdp::opcode] != zdp::start_send) answer(station, f, zdp::ok);
}

int ZdpStations::accept_config_send(Station& station, uint16_t id, const uint8_t* f) {
    std::vector<Segment> segments;
    read_segments(f, zdp::length + frame::get16be(f + zdp::length), segments);
    const Segment* sa = find(segments, segment_sa, 6);
    if (!sa || !find(segments, segment_da, 6)) return zdp::bad_request;
    if (!frame::same_mac(sa->value, station.mac.data())) return zdp::not_the_sender;
    SendConfig config;
    std::memcpy(config.sa.data(), sa->value, 6);
    for (const auto& s : segments) {
        if (s.type == segment_da && s.length >= 6) {
            MacAddress da{};
            std::memcpy(da.data(), s.value, 6);
            config.destinations.push_back(da);
        } else if (s.type == segment_length && s.length >= 2) {
            config.length = frame::get16be(s.value);
        } else if (s.type == segment_npkts && s.length >= 4) {
            config.npkts = static_cast<uint32_t>(frame::get16be(s.value)) << 16 | frame::get16be(s.value + 2);
        } else if (s.type == segment_numacks && s.length >= 1) {
            config.numacks = s.value[0];
        } else if (s.type == segment_txpe_test && s.length >= 1) {
            config.txpe = s.value[0];
        }
    }
    if (config.length > frame::max_data) return zdp::length_too_large;
    station.sends[id] = config;
    return 0;
}

// OK at once, numacks acknowledgements, the transfer, numacks more (none
// with --no-end-acks: the station never reports the end); all carry the
// STARTSEND's sequence number.
int ZdpStations::start(Station& station, const uint8_t* f) {
    std::vector<Segment> segments;
    read_segments(f, zdp::length + frame::get16be(f + zdp::length), segments);
    std::vector<uint16_t> ids;
    for (const auto& s : segments)
        if (s.type == segment_transfer && s.length >= 2) ids.push_back(frame::get16be(s.value));
    if (ids.empty()) return zdp::bad_request;
    for (uint16_t id : ids)
        if (!station.sends.count(id)) return zdp::unknown_transfer;

    answer(station, f, zdp::ok);
    station.counters.transmit = {};
    for (uint16_t id : ids) run_transfer(station, id, station.sends[id]);

    int acks = station.sends[ids.front()].numacks;
    int64_t gap = int64_t{device_.options.ack_gap_ms} * 1000;
    size_t index = static_cast<size_t>(&station - stations_.data());
    std::vector<uint8_t> request(f, f + zdp::segments);
    const int sent_acks = device_.options.no_end_acks ? acks : 2 * acks;
    for (int k = 1; k <= sent_acks; ++k) {
        device_.scheduler.at(device_.now_us() + k * gap,
                             [this, index, request] { answer(stations_[index], request.data(), zdp::ok); });
    }
    return 0;
}

uint8_t ZdpStations::encoding_for(const Station& sender, const SendConfig& config) const {
    for (uint8_t pe : {config.txpe, sender.node_txpe})
        if (pe != 255 && pe_gives_snr(pe)) return pe;
    uint8_t fallback = static_cast<uint8_t>(device_.options.pe);
    return pe_gives_snr(fallback) ? fallback : 1;
}

void ZdpStations::run_transfer(Station& sender, uint16_t id, const SendConfig& config) {
    uint32_t elapsed = static_cast<uint32_t>(std::min<uint64_t>(uint64_t{config.npkts} * packet_time_us, UINT32_MAX));
    Counters& tx = sender.counters;
    tx.transmit[0] += config.npkts;
    tx.transmit[1] += config.npkts * config.length;
    tx.transmit[3] = elapsed;
    tx.role = Counters::Role::transmitter;
    tx.last_transfer = id;
    uint8_t pe = encoding_for(sender, config);
    for (const auto& da : config.destinations) {
        Station* receiver = station_at(da.data());
        if (!receiver || receiver == &sender) continue;
        // Exactly the --loss share is lost; a fraction of a packet is
        // decided by the seeded generator.
        double expected = config.npkts * device_.options.loss;
        uint32_t lost = static_cast<uint32_t>(std::floor(expected));
        if (lost < config.npkts && loss_random_.chance(expected - lost)) ++lost;
        uint32_t received = config.npkts - lost;
        Counters& rx = receiver->counters;
        rx.receive[0] += received;
        rx.receive[1] += received * config.length;
        rx.receive[2] += lost;
        rx.receive[6] = elapsed;
        rx.receive_pe = pe;
        rx.role = Counters::Role::receiver;
        rx.last_transfer = id;
    }
}

// Laid out as the loader reads it: a transfer segment, then a transmitter's
// four counters, or a receiver's nine counters and sixteen samples.
// With --stats-counters N only the first N counters are sent, and no samples.
std::vector<uint8_t> ZdpStations::statistics(const Counters& c) const {
    std::vector<uint8_t> out;
    uint8_t id[2] = {static_cast<uint8_t>(c.last_transfer >> 8), static_cast<uint8_t>(c.last_transfer)};
    append_segment(out, segment_transfer, id, 2);
    const int cut = device_.options.stats_counters;
    const auto counters_cut = [cut](size_t k) { return cut >= 0 && k >= static_cast<size_t>(cut); };
    if (c.role == Counters::Role::transmitter) {
        for (size_t k = 0; k < c.transmit.size() && !counters_cut(k); ++k)
            append_u32_segment(out, static_cast<uint16_t>(first_transmit_counter + k), c.transmit[k]);
        return out;
    }
    // The order of the loader's CERT columns: packets, bytes, sequence
    // misses, sequence errors, data errors, FCS errors, header errors, errors,
    // elapsed time.
    size_t sent = 0;
    for (size_t k : {0, 1, 2, 3, 4, 7, 8, 5, 6}) {
        if (counters_cut(sent++)) return out;
        append_u32_segment(out, static_cast<uint16_t>(first_receive_counter + k), c.receive[k]);
    }
    if (cut >= 0) return out;
    uint8_t pe = pe_gives_snr(c.receive_pe) ? c.receive_pe : static_cast<uint8_t>(device_.options.pe);
    DemodulatorSample sample = pe_gives_snr(pe) ? sample_for_snr(device_.options.snr_db, pe) : DemodulatorSample{};
    for (int s = 0; s < samples_per_report; ++s) {
        uint8_t value[8];
        frame::put32le(value, sample.sea);
        frame::put16le(value + 4, sample.psc);
        frame::put16le(value + 6, sample.pe);
        append_segment(out, segment_sample, value, 8);
    }
    return out;
}

std::vector<uint8_t> zdp::reply_frame(const uint8_t* to, const uint8_t* from, uint8_t opcode, uint16_t sequence,
                                      const std::vector<uint8_t>& segment_bytes) {
    std::vector<uint8_t> out(zdp::segments + segment_bytes.size() + 2, 0);  // header, segments, end marker
    std::memcpy(&out[frame::destination], to, 6);
    std::memcpy(&out[frame::source], from, 6);
    frame::put16be(&out[frame::ether_type], frame::ether_type_value);
    out[frame::protocol_mark] = frame::protocol_mark_value;
    out[frame::sub_protocol] = frame::zdp;
    frame::put16be(&out[zdp::length], static_cast<uint16_t>(zdp::length_overhead + segment_bytes.size()));
    out[zdp::opcode] = opcode;
    frame::put16be(&out[zdp::sequence], sequence);
    std::copy(segment_bytes.begin(), segment_bytes.end(), out.begin() + zdp::segments);
    return out;
}

void ZdpStations::answer(const Station& station, const uint8_t* request, uint8_t opcode,
                         const std::vector<uint8_t>& segment_bytes) {
    const uint16_t sequence = frame::get16be(request + zdp::sequence);
    std::vector<uint8_t> out = zdp::reply_frame(request + frame::source, station.mac.data(), opcode, sequence,
                                                segment_bytes);
    if (device_.options.zdp_stale) {
        std::vector<uint8_t> stale = out;
        frame::put16be(stale.data() + zdp::sequence, static_cast<uint16_t>(sequence - 1));
        send_reply(std::move(stale));
    }
    send_reply(std::move(out));
}

// --zdp-late holds every reply back on top of the device's own --delay-ms.
void ZdpStations::send_reply(std::vector<uint8_t> frame) {
    const int late_ms = device_.options.zdp_late_ms;
    if (late_ms <= 0) {
        device_.send(std::move(frame));
        return;
    }
    device_.scheduler.at(device_.now_us() + int64_t{late_ms} * 1000,
                         [this, frame = std::move(frame)]() mutable { device_.send(std::move(frame)); });
}
