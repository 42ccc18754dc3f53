#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>

#include "device.h"
#include "recording_wire.h"
#include "stray_zdp.h"
#include "test_frames.h"

using namespace test_frames;

namespace {

constexpr int64_t ms = 1000;

struct Bench {
    explicit Bench(DevsimOptions o = {}) : options(std::move(o)), device(options, wire) {}
    std::vector<uint8_t> ask(const Bytes& f, int64_t at_ms) {
        wire.frames.clear();
        device.receive(f.data(), f.size(), at_ms * ms);
        return wire.take_last();
    }
    DevsimOptions options;
    RecordingWire wire;
    Device device;
};

// A fault of probability 0.5 seen over 64 requests as a string in which
// `hit` marks the requests it struck: the same for the same seed, another
// for another seed, and striking about half of them.
void expect_seeded_half(const std::function<std::string(uint64_t seed)>& pattern, char hit) {
    const std::string a = pattern(7);
    EXPECT_EQ(a, pattern(7));
    EXPECT_NE(a, pattern(8));
    const auto hits = std::count(a.begin(), a.end(), hit);
    EXPECT_GT(hits, 16);
    EXPECT_LT(hits, 48);
}

}  // namespace

TEST(DeviceRead, PresetsAndUntouchedMemory) {
    DevsimOptions o;
    o.fw_version = (7 << 10) | (2 << 4) | 3;
    o.link_status = 0x11;
    o.net_mode = 0x22;
    o.boot_mode = 2;
    Bench b(o);
    struct Case {
        uint32_t address;
        uint32_t value;
    } cases[] = {{0x827C, 0x1C230000}, {0x80005000, 0x11}, {0x80005004, 0x22}, {0x00E00018, 2}, {0x12345678, 0}};
    for (const auto& c : cases) {
        auto r = b.ask(read_request(c.address, 4), 1);
        ASSERT_EQ(r.size(), 60u) << std::hex << c.address;
        EXPECT_EQ(word_at(r, 32), c.value) << std::hex << c.address;
    }
}

TEST(DeviceRead, ReplyLayout) {
    Bench b;
    Bytes req = read_request(0x8000, 100);
    auto r = b.ask(req, 1);
    ASSERT_EQ(r.size(), 132u);
    EXPECT_TRUE(std::equal(r.begin(), r.begin() + 6, pc_mac));
    EXPECT_TRUE(std::equal(r.begin() + 6, r.begin() + 12, device_mac));
    EXPECT_EQ(r[12], 0x88);
    EXPECT_EQ(r[13], 0x6C);
    EXPECT_EQ(r[14], 0x80);
    EXPECT_EQ(r[15], 0x01);
    EXPECT_EQ(length_field(r), 112);
    EXPECT_TRUE(std::equal(r.begin() + 18, r.begin() + 32, req.begin() + 18));
}

TEST(DeviceWrite, BlockAcrossPagesReadsBack) {
    Bench b;
    Bytes data(1400);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7 + 1);
    auto w = b.ask(write_request(0x27F00, data), 1);
    ASSERT_GE(w.size(), 33u);
    EXPECT_EQ(length_field(w), 12 + 1400);
    auto r = b.ask(read_request(0x27F00, 1400), 2);
    ASSERT_EQ(r.size(), 32u + 1400);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), r.begin() + 32));
}

TEST(DeviceWrite, AddressWrapsAtTopOfSpace) {
    Bench b;
    b.ask(write_request(0xFFFFFFFE, word_bytes(0x44332211)), 1);
    auto r = b.ask(read_request(0, 2), 2);
    EXPECT_EQ(r[32], 0x33);
    EXPECT_EQ(r[33], 0x44);
}

TEST(DeviceSerial, ThirtyTwoRegistersByLowFiveBits) {
    Bench b;
    b.ask(request(6, 0x21, 4, word_bytes(0xA1B2C3D4)), 1);
    auto r = b.ask(request(5, 0x01, 4), 2);
    EXPECT_EQ(word_at(r, 32), 0xA1B2C3D4u);
    b.ask(request(6, 0x3E, 4, word_bytes(0x0D0C0B0A)), 3);  // registers 30, 31, 0, 1
    r = b.ask(request(5, 0x00, 2), 3);
    EXPECT_EQ(r[32], 0x0C);
    EXPECT_EQ(r[33], 0x0D);
    r = b.ask(read_request(0x21, 4), 4);  // memory is separate
    EXPECT_EQ(word_at(r, 32), 0u);
}

TEST(DeviceBusy, RunCodeActivateAndResetSilenceTheDevice) {
    struct Case {
        const char* name;
        Bytes request;
        int busy_ms;
    } cases[] = {
        {"run code", request(1, 0x30000, 0), 50},
        {"activate", request(4, 0, 0), 50},
        {"reset", write_request(0x00E00000, word_bytes(6)), 300},
    };
    for (const auto& c : cases) {
        DevsimOptions o;
        o.boot_mode = 3;
        Bench b(o);
        EXPECT_TRUE(b.ask(c.request, 1000).empty()) << c.name;
        EXPECT_TRUE(b.ask(read_request(0, 4), 1000 + c.busy_ms - 1).empty()) << c.name;
        EXPECT_EQ(b.device.counters.busy, 1u) << c.name;
        auto r = b.ask(read_request(0x00E00018, 4), 1000 + c.busy_ms);
        ASSERT_FALSE(r.empty()) << c.name;
        EXPECT_EQ(word_at(r, 32), 3u) << c.name;
    }
}

TEST(DeviceBusy, ResetWordOtherThanSixIsAPlainWrite) {
    Bench b;
    auto r = b.ask(write_request(0x00E00000, word_bytes(5)), 1);
    EXPECT_EQ(length_field(r), 16);
    EXPECT_FALSE(b.ask(read_request(0, 4), 2).empty());
}

TEST(DeviceQuery, AddressQueryAnsweredToBroadcast) {
    DevsimOptions o;
    parse_mac("0A:3F:71:12:34:56", o.mac);
    Bench b(o);
    auto r = b.ask(address_query(), 1);
    ASSERT_EQ(r.size(), 60u);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(r[i], 0xFF);
    const uint8_t mac[6] = {0x0A, 0x3F, 0x71, 0x12, 0x34, 0x56};
    EXPECT_TRUE(std::equal(r.begin() + 6, r.begin() + 12, mac));
    EXPECT_EQ(r[14], 0x03);
}

TEST(DeviceReplyForms, BareWriteRepliesAndTheHostInterfaceQueryAnswer) {
    Bytes block(300);
    for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<uint8_t>(i + 1);
    struct Case {
        const char* name;
        Bytes request;
        size_t length_field;
    } writes[] = {
        {"memory word", write_request(0x8000, word_bytes(0x11223344)), 16},
        {"memory block", write_request(0x28000, block), 12 + 300},
        {"serial word", request(6, 0x3, 4, word_bytes(0x55)), 16},
    };
    for (const auto& c : writes) {
        DevsimOptions o;
        o.bare_write_replies = true;
        Bench b(o);
        auto r = b.ask(c.request, 1);
        ASSERT_EQ(r.size(), 60u) << c.name;
        EXPECT_EQ(length_field(r), c.length_field) << c.name;
        EXPECT_EQ(r[23], c.request[23]) << c.name;
        EXPECT_TRUE(std::all_of(r.begin() + 32, r.end(), [](uint8_t x) { return x == 0; })) << c.name;
        // The write itself happened.
        Bytes read_back = c.request;
        read_back[23] = c.request[23] == 6 ? 5 : 2;
        auto back = b.ask(read_back, 2);
        ASSERT_EQ(back.size(), std::max<size_t>(60, 32 + c.length_field - 12)) << c.name;
        EXPECT_TRUE(std::equal(back.begin() + 32, back.begin() + 20 + c.length_field, c.request.begin() + 32)) << c.name;
    }

    DevsimOptions o;
    o.query_answer_hostif = true;
    Bench b(o);
    auto r = b.ask(address_query(), 1);
    ASSERT_EQ(r.size(), 60u);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(r[i], 0xFF);
    EXPECT_TRUE(std::equal(r.begin() + 6, r.begin() + 12, device_mac));
    EXPECT_EQ(Bytes(r.begin() + 12, r.begin() + 16), (Bytes{0x88, 0x6C, 0x80, 0x01}));
    EXPECT_TRUE(std::all_of(r.begin() + 16, r.end(), [](uint8_t x) { return x == 0; }));
}

TEST(DeviceEcho, ForeignFrameComesBackSwapped) {
    Bench b;
    Bytes f(200);
    for (size_t i = 0; i < f.size(); ++i) f[i] = static_cast<uint8_t>(i + 200);
    std::copy(device_mac, device_mac + 6, f.begin());
    std::copy(pc_mac, pc_mac + 6, f.begin() + 6);
    f[12] = 0x88;
    f[13] = 0x6C;
    f[14] = 0x80;  // the loopback pattern can look like this
    f[15] = 0x81;
    auto r = b.ask(f, 1);
    ASSERT_EQ(r.size(), f.size());
    EXPECT_TRUE(std::equal(r.begin(), r.begin() + 6, pc_mac));
    EXPECT_TRUE(std::equal(r.begin() + 6, r.begin() + 12, device_mac));
    EXPECT_TRUE(std::equal(r.begin() + 12, r.end(), f.begin() + 12));
    EXPECT_EQ(b.device.counters.echoed, 1u);
}

TEST(DeviceReplyHeader, OptionReplacesTemplateBytes) {
    DevsimOptions o;
    o.reply_header_set = true;
    o.reply_header = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    Bench b(o);
    auto r = b.ask(read_request(0x8000, 4), 1);
    EXPECT_EQ(Bytes(r.begin() + 18, r.begin() + 23), (Bytes{1, 2, 3, 4, 5}));
    EXPECT_EQ(r[23], 2);
    EXPECT_EQ(Bytes(r.begin() + 24, r.begin() + 28), (Bytes{6, 7, 8, 9}));
    EXPECT_EQ(word_at(r, 28), 0x8000u);
}

TEST(DeviceMalformed, CountedAndIgnored) {
    auto with_length = [](uint16_t length, size_t size) {
        Bytes f = read_request(0x8000, 4);
        f.resize(size);
        f[16] = static_cast<uint8_t>(length);
        f[17] = static_cast<uint8_t>(length >> 8);
        return f;
    };
    Bytes unknown_opcode = read_request(0x8000, 4);
    unknown_opcode[23] = 9;
    Bytes wrong_sub = read_request(0x8000, 4);
    wrong_sub[15] = 0x05;
    Bytes tiny(10, 0xFF);
    Bytes short_header = read_request(0x8000, 4);
    short_header.resize(31);
    struct Case {
        const char* name;
        Bytes frame;
    } cases[] = {
        {"shorter than an Ethernet header", tiny},
        {"shorter than the message header", short_header},
        {"wrong sub-protocol", wrong_sub},
        {"length field below 12", with_length(11, 64)},
        {"length field beyond the frame", with_length(12 + 40, 64)},
        {"data beyond 1482 bytes", with_length(12 + 1483, 1514)},
        {"unknown opcode", unknown_opcode},
    };
    for (const auto& c : cases) {
        Bench b;
        EXPECT_TRUE(b.ask(c.frame, 1).empty()) << c.name;
        EXPECT_EQ(b.device.counters.malformed, 1u) << c.name;
        EXPECT_FALSE(b.ask(read_request(0, 4), 2).empty()) << c.name;
    }
}

TEST(DeviceMalformed, LargestBlockIsServed) {
    Bench b;
    auto r = b.ask(read_request(0, 1482), 1);
    EXPECT_EQ(r.size(), 1514u);
}

TEST(DeviceAddressing, OtherDestinationsIgnoredUncounted) {
    Bench b;
    const uint8_t other[6] = {0x0A, 0x3F, 0x71, 0, 0, 9};
    EXPECT_TRUE(b.ask(request(2, 0, 4, {}, other), 1).empty());
    Bytes not_ours = read_request(0, 4);
    not_ours[12] = 0x08;
    not_ours[13] = 0x00;
    EXPECT_TRUE(b.ask(not_ours, 2).empty());
    EXPECT_EQ(b.device.counters.malformed, 0u);
}

TEST(DeviceFaults, DropFirstThenAnswer) {
    DevsimOptions o;
    o.drop_first = 2;
    Bench b(o);
    EXPECT_TRUE(b.ask(read_request(0, 4), 1).empty());
    EXPECT_TRUE(b.ask(write_request(0x100, word_bytes(1)), 2).empty());
    EXPECT_FALSE(b.ask(read_request(0x100, 4), 3).empty());
    auto r = b.ask(read_request(0x100, 4), 4);
    EXPECT_EQ(word_at(r, 32), 0u) << "a dropped write has no effect";
    EXPECT_EQ(b.device.counters.dropped, 2u);
}

TEST(DeviceFaults, DropProbabilityIsSeeded) {
    expect_seeded_half(
        [](uint64_t seed) {
            DevsimOptions o;
            o.seed = seed;
            o.drop_prob = 0.5;
            Bench b(o);
            std::string answered;
            for (int i = 0; i < 64; ++i) answered += b.ask(read_request(0, 4), i).empty() ? '-' : 'x';
            return answered;
        },
        'x');
}

namespace {

// When each frame `request` brings reaches the wire, in ms after the request
// (1 ms steps, up to 400 ms).
std::vector<int64_t> reply_times(Bench& b, const Bytes& request, int64_t at_ms) {
    b.wire.frames.clear();
    b.device.receive(request.data(), request.size(), at_ms * ms);
    std::vector<int64_t> times;
    for (int64_t d = 0; d <= 400; ++d) {
        b.device.advance((at_ms + d) * ms);
        while (times.size() < b.wire.frames.size()) times.push_back(d);
    }
    return times;
}

}  // namespace

TEST(DeviceFaults, JitterIsSeededAndWithinItsRange) {
    auto delays = [](uint64_t seed) {
        DevsimOptions o;
        o.seed = seed;
        o.jitter = {20, 120};
        Bench b(o);
        std::vector<int64_t> out;
        for (int i = 0; i < 64; ++i) {
            auto times = reply_times(b, read_request(0, 4), 1000 * i);
            EXPECT_EQ(times.size(), 1u);
            out.push_back(times.empty() ? -1 : times[0]);
        }
        return out;
    };
    auto a = delays(7);
    EXPECT_EQ(a, delays(7));
    EXPECT_NE(a, delays(8));
    EXPECT_GE(*std::min_element(a.begin(), a.end()), 20);
    EXPECT_LE(*std::max_element(a.begin(), a.end()), 121);  // 1 ms steps
    EXPECT_GT(std::count_if(a.begin(), a.end(), [](int64_t d) { return d > 100; }), 3);
}

TEST(DeviceFaults, DuplicatesAreSeededAndFollowAfterTheirLag) {
    expect_seeded_half(
        [](uint64_t seed) {
            DevsimOptions o;
            o.seed = seed;
            o.dup_prob = 0.5;
            o.dup_lag = {50, 150};
            Bench b(o);
            std::string pattern;
            for (int i = 0; i < 64; ++i) {
                auto times = reply_times(b, read_request(0x8000, 8), 1000 * i);
                if (times.empty()) {
                    ADD_FAILURE() << "no reply to request " << i;
                    continue;
                }
                EXPECT_EQ(times[0], 0);
                if (times.size() == 2) {
                    EXPECT_EQ(b.wire.frames[1], b.wire.frames[0]);
                    EXPECT_GE(times[1], 50);
                    EXPECT_LE(times[1], 151);
                }
                pattern += times.size() == 2 ? 'd' : '-';
            }
            return pattern;
        },
        'd');

    DevsimOptions always;
    always.dup_prob = 1;
    Bench b(always);
    EXPECT_EQ(reply_times(b, write_request(0x100, word_bytes(5)), 1), (std::vector<int64_t>{0, 0}));
    EXPECT_EQ(b.wire.frames[0], b.wire.frames[1]);
}

TEST(DeviceFaults, LateFirstAnswersTheRepeatBeforeTheFirst) {
    DevsimOptions o;
    o.late_first_ms = 150;
    Bench b(o);
    const Bytes request = read_request(0x100, 4);
    b.device.receive(request.data(), request.size(), 0);
    b.device.advance(99 * ms);
    EXPECT_TRUE(b.wire.frames.empty());
    b.device.receive(request.data(), request.size(), 100 * ms);  // the loader sends it again
    EXPECT_EQ(b.wire.frames.size(), 1u);
    b.device.advance(149 * ms);
    EXPECT_EQ(b.wire.frames.size(), 1u);
    b.device.advance(150 * ms);
    EXPECT_EQ(b.wire.frames.size(), 2u);
    EXPECT_EQ(reply_times(b, read_request(0x104, 4), 1000), (std::vector<int64_t>{150}));
}

TEST(DeviceFaults, NoEchoKeepsZerosForOpcodeAndAddress) {
    DevsimOptions o;
    o.no_echo = true;
    Bench b(o);
    b.ask(write_request(0x8004, word_bytes(0x11223344)), 1);
    for (const Bytes& request : {read_request(0x8004, 4), write_request(0x8008, word_bytes(9))}) {
        auto r = b.ask(request, 2);
        ASSERT_EQ(r.size(), 60u);
        EXPECT_EQ(r[23], 0);
        EXPECT_EQ(word_at(r, 28), 0u);
        EXPECT_EQ(length_field(r), 16);
        EXPECT_EQ(word_at(r, 32), request[23] == 2 ? 0x11223344u : 9u);
    }
}

TEST(DeviceFaults, StrayZdpFramesGoToTheLastRequesterEveryPeriod) {
    DevsimOptions o;
    o.stray_zdp_ms = 2;
    Bench b(o);
    StrayZdp stray(b.device);
    for (int64_t t = 0; t <= 10; ++t) b.device.advance(t * ms);
    EXPECT_TRUE(b.wire.frames.empty()) << "no PC known yet";
    b.ask(read_request(0, 4), 10);
    for (int64_t t = 11; t <= 30; ++t) b.device.advance(t * ms);
    ASSERT_EQ(b.wire.frames.size(), 10u);
    for (const auto& f : b.wire.frames) {
        EXPECT_TRUE(std::equal(f.begin(), f.begin() + 6, pc_mac));
        EXPECT_TRUE(std::equal(f.begin() + 6, f.begin() + 12, device_mac));
        EXPECT_EQ(f[14], 0x80);
        EXPECT_EQ(f[15], 0x02);
    }
    EXPECT_EQ(b.device.counters.answered, 1u) << "stray frames answer nothing";
}

TEST(DeviceFaults, SilentAnswersNothing) {
    DevsimOptions o;
    o.silent = true;
    Bench b(o);
    EXPECT_TRUE(b.ask(read_request(0, 4), 1).empty());
    EXPECT_TRUE(b.ask(address_query(), 2).empty());
    EXPECT_TRUE(b.ask(write_request(0, word_bytes(1)), 3).empty());
}

TEST(DeviceFaults, DelayHoldsTheReply) {
    DevsimOptions o;
    o.delay_ms = 30;
    Bench b(o);
    EXPECT_TRUE(b.ask(read_request(0, 4), 100).empty());
    b.device.advance(129 * ms);
    EXPECT_TRUE(b.wire.frames.empty());
    b.device.advance(130 * ms);
    EXPECT_EQ(b.wire.frames.size(), 1u);
}

TEST(DeviceFaults, QueryDelayHoldsOnlyTheAddressAnswer) {
    DevsimOptions o;
    o.query_delay_ms = 250;
    o.delay_ms = 10;
    Bench b(o);
    EXPECT_TRUE(b.ask(address_query(), 100).empty());
    // Other requests meanwhile keep the plain delay.
    EXPECT_TRUE(b.ask(read_request(0, 4), 101).empty());
    b.device.advance(111 * ms);
    ASSERT_EQ(b.wire.frames.size(), 1u);
    EXPECT_EQ(b.wire.frames[0][15], 0x01);
    b.device.advance(349 * ms);
    EXPECT_EQ(b.wire.frames.size(), 1u);
    b.device.advance(350 * ms);  // --delay-ms still to go
    EXPECT_EQ(b.wire.frames.size(), 1u);
    b.device.advance(360 * ms);
    ASSERT_EQ(b.wire.frames.size(), 2u);
    EXPECT_EQ(b.wire.frames[1][14], 0x03);
    EXPECT_EQ(b.device.counters.answered, 2u);
}

TEST(DeviceFaults, ShortWriteReportsAndWritesAtMostN) {
    DevsimOptions o;
    o.short_write = 3;
    Bench b(o);
    auto w = b.ask(write_request(0x200, word_bytes(0x04030201)), 1);
    EXPECT_EQ(length_field(w), 15);
    auto r = b.ask(read_request(0x200, 4), 2);
    EXPECT_EQ(word_at(r, 32), 0x030201u);
}

// Reads that touch the range go unanswered; reads beside it, and writes
// into it, are served as ever.
TEST(DeviceFaults, UnreadableRangeAnswersNoRead) {
    DevsimOptions o;
    o.unreadable.push_back({0x8000, 428});
    Bench b(o);
    int64_t at = 1;
    const struct {
        uint32_t address;
        uint16_t count;
        bool answered;
    } reads[] = {{0x8000, 428, false}, {0x81A8, 4, false}, {0x7FFC, 8, false}, {0x7FFC, 4, true},
                 {0x81AC, 4, true},    {0x827C, 4, true}};
    for (const auto& r : reads) {
        SCOPED_TRACE(r.address);
        EXPECT_EQ(b.ask(read_request(r.address, r.count), at++).empty(), !r.answered);
    }
    EXPECT_FALSE(b.ask(write_request(0x8000, word_bytes(1)), at++).empty());
}

TEST(DeviceHooks, HeldRequestsAreServedWhenTheWindowEnds) {
    Bench b;
    b.device.advance(10 * ms);
    b.device.busy_holding(40, [&] { b.device.memory.write_word(0x8824, 0); });
    b.device.memory.write_word(0x8824, 77);
    EXPECT_TRUE(b.ask(read_request(0x8824, 4), 20).empty());
    b.device.advance(50 * ms);
    ASSERT_EQ(b.wire.frames.size(), 1u);
    EXPECT_EQ(word_at(b.wire.frames[0], 32), 0u);
}
