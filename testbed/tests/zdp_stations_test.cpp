#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "demodulator_samples.h"
#include "device.h"
#include "recording_wire.h"
#include "test_frames.h"
#include "zdp_stations.h"

using namespace test_frames;

namespace {

constexpr int64_t ms = 1000;
const uint8_t node_b[6] = {0x0A, 0x3F, 0x71, 0x00, 0x00, 0x02};
const uint8_t node_c[6] = {0x0A, 0x3F, 0x71, 0x00, 0x00, 0x03};

Bytes mac_bytes(const uint8_t* mac) { return Bytes(mac, mac + 6); }
Bytes be16(uint16_t v) { return {static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)}; }
Bytes be32(uint32_t v) {
    return {static_cast<uint8_t>(v >> 24), static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 8),
            static_cast<uint8_t>(v)};
}

std::vector<Segment> send_block(const uint8_t* sa, const uint8_t* da, uint32_t npkts, uint8_t numacks,
                                uint8_t txpe = 255, uint16_t length = 1000) {
    return {{0x84, {1}},          {0x85, be32(0)},       {0x86, be16(length)}, {0x81, mac_bytes(sa)},
            {0x83, mac_bytes(da)}, {0x87, be32(npkts)},   {0x88, be16(0)},      {0x89, be16(1)},
            {0x8A, {numacks}},    {0x8B, {txpe}},        {0x8C, {255}}};
}

uint32_t be32_at(const Bytes& f, size_t at) {
    return static_cast<uint32_t>(f[at]) << 24 | f[at + 1] << 16 | f[at + 2] << 8 | f[at + 3];
}

// The loader's reading of a receiver's sixteen samples, written out here
// independently of the emulator.
double loader_snr(const Bytes& reply) {
    static const double t[2][4][7] = {
        {{1.0, 0.1111, 0.3333, 0.25, 0.1429, 0.1111, 0.0667},
         {0.7071, 0.0786, 0.2357, 0.1768, 0.101, 0.0786, 0.0471},
         {0, 0, 0, 0, 0, 0, 0},
         {0, 0, 0, 0, 0, 0, 0}},
        {{1.0, 0.1111, 0.3333, 0.25, 0.1429, 0.1111, 0.0667},
         {0.7071, 0.0786, 0.2509, 0.1812, 0.1113, 0.0835, 0.0534},
         {0.5, 0.0556, 0.1952, 0.1396, 0.0897, 0.0664, 0.0438},
         {0.3119, 0.0335, 0.1225, 0.086, 0.0583, 0.0418, 0.0288}}};
    double sum = 0;
    int valid = 0;
    for (int s = 0; s < 16; ++s) {
        size_t at = 106 + 12 * s + 4;
        uint32_t sea = word_at(reply, at);
        uint16_t psc = static_cast<uint16_t>(reply[at + 4] | reply[at + 5] << 8);
        uint16_t pe = static_cast<uint16_t>(reply[at + 6] | reply[at + 7] << 8);
        double ratio = psc ? static_cast<double>(sea) / psc : 0;
        int c = pe & 7, b = ((pe >> 3) & 3) + 1, m = ((pe >> 5) & 3) + 1;
        if (c < 1 || m > 2 || ratio == 0) continue;
        double f = t[m - 1][b - 1][c - 1];
        sum += (524288.0 / std::pow(2.0, b - 1)) / (f * f * ratio);
        ++valid;
    }
    return valid ? 10 * std::log10(sum / valid) : 0.0;
}

struct Network {
    explicit Network(DevsimOptions o = {}) : options(with_nodes(std::move(o))), device(options, wire), zdp(device) {}
    static DevsimOptions with_nodes(DevsimOptions o) {
        MacAddress b{}, c{};
        std::copy(node_b, node_b + 6, b.begin());
        std::copy(node_c, node_c + 6, c.begin());
        o.nodes = {b, c};
        return o;
    }
    std::vector<Bytes> ask(const Bytes& f) {
        wire.frames.clear();
        device.receive(f.data(), f.size(), now * ms);
        return wire.frames;
    }
    Bytes ask_one(const Bytes& f) {
        auto frames = ask(f);
        return frames.size() == 1 ? frames[0] : Bytes{};
    }
    DevsimOptions options;
    RecordingWire wire;
    Device device;
    ZdpStations zdp;
    int64_t now = 1;
};

}  // namespace

TEST(ZdpStations, EveryStationAcknowledgesWithTheSequence) {
    Network n;
    for (const uint8_t* to : {device_mac, node_b, node_c}) {
        Bytes r = n.ask_one(zdp_request(to, 0x08, 77));
        ASSERT_GE(r.size(), 60u);
        EXPECT_TRUE(std::equal(r.begin(), r.begin() + 6, pc_mac));
        EXPECT_TRUE(std::equal(r.begin() + 6, r.begin() + 12, to));
        EXPECT_EQ(r[15], 0x02);
        EXPECT_EQ(r[19], 0x00);
        EXPECT_EQ(sequence_of(r), 77);
        EXPECT_EQ(r[16] << 8 | r[17], 10);
    }
    const uint8_t stranger[6] = {0x0A, 0x3F, 0x71, 0, 0, 9};
    EXPECT_TRUE(n.ask(zdp_request(stranger, 0x08, 78)).empty());
}

TEST(ZdpStations, RequestsItCannotAcceptGetErrors) {
    auto without = [](std::vector<Segment> s, uint16_t type) {
        s.erase(std::remove_if(s.begin(), s.end(), [&](const Segment& x) { return x.type == type; }), s.end());
        return s;
    };
    struct Case {
        const char* name;
        Bytes request;
        uint8_t code;
    } cases[] = {
        {"no DA", zdp_request(device_mac, 0x11, 5, without(send_block(device_mac, node_b, 10, 1), 0x83)), 1},
        {"SA of another station", zdp_request(device_mac, 0x11, 5, send_block(node_b, node_c, 10, 1)), 3},
        {"packet length 1483", zdp_request(device_mac, 0x11, 5, send_block(device_mac, node_b, 10, 1, 255, 1483)),
         4},
        {"start of an unknown transfer", zdp_request(device_mac, 0x12, 5, {{0x05, be16(99)}}), 2},
    };
    for (const auto& c : cases) {
        Network n;
        Bytes r = n.ask_one(c.request);
        ASSERT_GE(r.size(), 34u) << c.name;
        EXPECT_EQ(r[19], 0x01) << c.name;
        EXPECT_EQ(sequence_of(r), 5) << c.name;
        EXPECT_EQ(r[26] << 8 | r[27], 0x0001) << c.name;
        EXPECT_EQ(r[30], c.code) << c.name;
    }
}

TEST(ZdpStations, CertTestGivesConfiguredLossAndSnr) {
    DevsimOptions o;
    o.loss = 0.01;
    o.snr_db = 27.5;
    o.ack_gap_ms = 10;
    Network n(o);
    const uint8_t pe = 0x2B;  // const 4, baud 2, mask 2
    n.ask(zdp_request(device_mac, 0x08, 1));
    n.ask(zdp_request(node_b, 0x08, 2));
    ASSERT_EQ(n.ask_one(zdp_request(device_mac, 0x11, 3, send_block(device_mac, node_b, 1000, 2, pe)))[19], 0);
    n.ask(zdp_request(node_b, 0x15, 4, {{0x84, {1}}, {0x81, mac_bytes(device_mac)}, {0x83, mac_bytes(node_b)}}));

    auto started = n.ask(zdp_request(device_mac, 0x12, 5, {{0x05, be16(3)}}));
    ASSERT_EQ(started.size(), 1u);
    EXPECT_EQ(started[0][19], 0);
    n.wire.frames.clear();
    n.device.advance(n.now * ms + 39 * ms);
    EXPECT_EQ(n.wire.frames.size(), 3u);
    n.device.advance(n.now * ms + 40 * ms);
    ASSERT_EQ(n.wire.frames.size(), 4u) << "two acknowledgements before and two after";
    for (const auto& ack : n.wire.frames) EXPECT_EQ(sequence_of(ack), 5);
    n.now += 50;

    Bytes tx = n.ask_one(zdp_request(device_mac, 0x17, 6));
    ASSERT_GE(tx.size(), 66u);
    const uint32_t transmitted[4][2] = {{0x0101, 1000}, {0x0102, 1000000}, {0x0103, 0}, {0x0104, 100000}};
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(tx[34 + 8 * k] << 8 | tx[35 + 8 * k], static_cast<int>(transmitted[k][0]));
        EXPECT_EQ(be32_at(tx, 38 + 8 * k), transmitted[k][1]);
    }
    Bytes rx = n.ask_one(zdp_request(node_b, 0x17, 7));
    ASSERT_GE(rx.size(), 106u + 16 * 12);
    EXPECT_EQ(rx[34] << 8 | rx[35], 0x0105);
    EXPECT_EQ(be32_at(rx, 38), 990u);
    EXPECT_EQ(be32_at(rx, 38 + 16), 10u) << "sequence misses";
    const int column_order[9] = {0x0105, 0x0106, 0x0107, 0x0108, 0x0109, 0x010C, 0x010D, 0x010A, 0x010B};
    for (int k = 0; k < 9; ++k) EXPECT_EQ(rx[34 + 8 * k] << 8 | rx[35 + 8 * k], column_order[k]) << k;
    EXPECT_EQ(be32_at(rx, 38 + 8 * 8), 100000u) << "elapsed time last";
    EXPECT_NEAR(loader_snr(rx), 27.5, 0.01);
    EXPECT_EQ(rx[106 + 12 * 15 + 10], pe);
}

TEST(ZdpStations, SamplesInvertTheSnrFormula) {
    for (uint8_t pe : {0x01, 0x07, 0x0B, 0x21, 0x3F, 0x37, 0x3A}) {
        for (double snr : {0.0, 12.3, 35.0, 60.0}) {
            ASSERT_TRUE(pe_gives_snr(pe)) << int(pe);
            EXPECT_NEAR(snr_of_sample(sample_for_snr(snr, pe)), snr, 0.01) << int(pe) << " " << snr;
        }
    }
    for (uint8_t pe : {0x00, 0x08, 0x11, 0x1F, 0x7F, 0x80}) EXPECT_FALSE(pe_gives_snr(pe)) << int(pe);
}

TEST(ZdpStations, ResetStatsReadsAndClears) {
    Network n;
    n.ask(zdp_request(device_mac, 0x11, 3, send_block(device_mac, node_b, 50, 0)));
    n.ask(zdp_request(device_mac, 0x12, 4, {{0x05, be16(3)}}));
    EXPECT_EQ(be32_at(n.ask_one(zdp_request(device_mac, 0x19, 5)), 38), 50u);
    EXPECT_EQ(be32_at(n.ask_one(zdp_request(device_mac, 0x17, 6)), 38), 0u);
}

TEST(ZdpStations, FaultOptions) {
    {
        DevsimOptions o;
        o.zdp_drop = 1.0;
        Network n(o);
        EXPECT_TRUE(n.ask(zdp_request(node_b, 0x08, 1)).empty());
    }
    {
        DevsimOptions o;
        o.zdp_stale = true;
        Network n(o);
        auto frames = n.ask(zdp_request(node_b, 0x08, 0));
        ASSERT_EQ(frames.size(), 2u);
        EXPECT_EQ(sequence_of(frames[0]), 0xFFFF);
        EXPECT_EQ(sequence_of(frames[1]), 0);
    }
    {
        // Late on top of the device's own delay; host-interface replies keep theirs.
        DevsimOptions o;
        o.zdp_late_ms = 30;
        o.delay_ms = 5;
        Network n(o);
        EXPECT_TRUE(n.ask(zdp_request(node_b, 0x08, 4)).empty());
        n.device.advance(n.now * ms + 30 * ms);
        n.device.advance(n.now * ms + 34 * ms);
        EXPECT_TRUE(n.wire.frames.empty());
        n.device.advance(n.now * ms + 35 * ms);
        ASSERT_EQ(n.wire.frames.size(), 1u);
        EXPECT_EQ(sequence_of(n.wire.frames[0]), 4);
        n.now = 100;
        EXPECT_TRUE(n.ask(read_request(0x100, 4)).empty());
        n.device.advance(105 * ms);
        EXPECT_EQ(n.wire.frames.size(), 1u);
    }
    {
        // Two counters and no samples: the length field says 10 + 8 + 16,
        // the frame is padded to 60 bytes.
        DevsimOptions o;
        o.stats_counters = 2;
        Network n(o);
        for (const uint8_t* node : {device_mac, node_b}) {
            Bytes r = n.ask_one(zdp_request(node, 0x17, 3));
            ASSERT_EQ(r.size(), 60u);
            EXPECT_EQ(r[16] << 8 | r[17], 34);
            EXPECT_TRUE(std::all_of(r.begin() + 50, r.end(), [](uint8_t b) { return b == 0; }));
        }
    }
    {
        // The acknowledgements before the test come, those of its end never.
        DevsimOptions o;
        o.no_end_acks = true;
        o.ack_gap_ms = 10;
        Network n(o);
        n.ask(zdp_request(device_mac, 0x11, 3, send_block(device_mac, node_b, 100, 2)));
        ASSERT_EQ(n.ask(zdp_request(device_mac, 0x12, 4, {{0x05, be16(3)}})).size(), 1u);
        n.wire.frames.clear();
        n.device.advance(n.now * ms + 10'000 * ms);
        ASSERT_EQ(n.wire.frames.size(), 2u);
        for (const auto& ack : n.wire.frames) EXPECT_EQ(sequence_of(ack), 4);
    }
    for (int code : {0, 5}) {
        DevsimOptions o;
        o.zdp_error = code;
        Network n(o);
        Bytes r = n.ask_one(zdp_request(node_c, 0x08, 9));
        ASSERT_GE(r.size(), 31u);
        EXPECT_EQ(r[19], 0x01);
        EXPECT_EQ(r[30], code);
    }
}

TEST(ZdpStations, MalformedFramesAreCounted) {
    Bytes beyond = zdp_request(node_b, 0x08, 1);
    beyond[17] = 200;
    Bytes segment_past_end = zdp_request(node_b, 0x11, 1, {{0x86, be16(5)}});
    segment_past_end[29] = 40;
    Bytes too_short(20, 0);
    std::copy(node_b, node_b + 6, too_short.begin());
    too_short[12] = 0x88;
    too_short[13] = 0x6C;
    too_short[14] = 0x80;
    too_short[15] = 0x02;
    for (const Bytes& f : {beyond, segment_past_end, too_short}) {
        Network n;
        EXPECT_TRUE(n.ask(f).empty());
        EXPECT_EQ(n.device.counters.malformed, 1u);
    }
}

TEST(ZdpStations, StationAndChannelTables) {
    DevsimOptions o;
    o.pe = 0x2B;
    Network n(o);
    auto read = [&](uint32_t address, uint16_t count) {
        Bytes r = n.ask_one(read_request(address, count));
        return Bytes(r.begin() + 32, r.begin() + 32 + count);
    };
    EXPECT_EQ(word_at(read(0x80002070, 4), 0), 0x00020000u);
    for (int k = 0; k < 2; ++k) {
        const uint8_t* mac = k == 0 ? node_b : node_c;
        Bytes station = read(0x8000D000 + 44 * k, 44);
        EXPECT_TRUE(std::equal(mac, mac + 6, station.begin() + 20));
        EXPECT_TRUE(std::equal(mac, mac + 6, station.begin() + 26));
        Bytes tx = read(0x80007000 + 56 * k, 56);
        EXPECT_TRUE(std::equal(mac, mac + 6, tx.begin() + 8));
        EXPECT_TRUE(std::equal(device_mac, device_mac + 6, tx.begin() + 14));
        EXPECT_EQ(tx[21] & 0x80, 0);
        EXPECT_EQ(tx[47], 0x2B);
        Bytes rx = read(0x80008000 + 60 * k, 60);
        EXPECT_TRUE(std::equal(mac, mac + 6, rx.begin() + 8));
        EXPECT_EQ(rx[38], 0x2B);
    }
}

TEST(ZdpStations, RandomFramesNeverCrash) {
    DevsimOptions o;
    o.zdp_stale = true;
    Network n(o);
    uint32_t state = 99;
    auto next = [&] { return state = state * 1664525u + 1013904223u; };
    const uint8_t* targets[] = {device_mac, node_b, node_c};
    const uint8_t marks[][2] = {{0x80, 0x01}, {0x80, 0x02}, {0x03, 0x00}, {0x80, 0x05}, {0x44, 0x45}};
    for (int i = 0; i < 20000; ++i) {
        Bytes f(next() % 200);
        for (auto& b : f) b = static_cast<uint8_t>(next() >> 24);
        if (f.size() >= 16) {
            std::copy(targets[i % 3], targets[i % 3] + 6, f.begin());
            f[12] = 0x88;
            f[13] = 0x6C;
            f[14] = marks[i % 5][0];
            f[15] = marks[i % 5][1];
        }
        n.device.receive(f.data(), f.size(), (i + 1) * 1000);
    }
    n.device.advance(int64_t{1} << 40);
    EXPECT_GT(n.device.counters.malformed, 0u);
}
