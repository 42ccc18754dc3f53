// Runs inside the test namespace: devsim on dv0, this process as the PC on
// hl0.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "devsim_process.h"
#include "pc_socket.h"
#include "test_frames.h"
#include "temp_dir.h"

using namespace test_frames;

namespace {

// Files of this run; the directory goes when the tests end.
TempDir test_files;

std::string temp_path(const char* name) { return test_files.path(name); }

Bytes file_bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

int64_t elapsed_ms(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - since).count();
}

bool is_host_interface(const Bytes& f) { return f.size() >= 32 && f[14] == 0x80 && f[15] == 0x01; }
bool is_zdp(const Bytes& f) { return f.size() >= 26 && f[14] == 0x80 && f[15] == 0x02; }

// A frame that came back, and when: ms after the first request was sent.
struct Heard {
    Bytes frame;
    int64_t at_ms;
};

// Sends the requests one after another, then gathers what comes back until
// `listen_ms` after the first send, or until `enough` frames have come.
std::vector<Heard> exchange(PcSocket& pc, const std::vector<Bytes>& requests, int listen_ms,
                            size_t enough = SIZE_MAX) {
    const auto start = std::chrono::steady_clock::now();
    for (const Bytes& request : requests) EXPECT_TRUE(pc.send(request));
    std::vector<Heard> heard;
    for (int64_t left = listen_ms; left > 0 && heard.size() < enough; left = listen_ms - elapsed_ms(start)) {
        Bytes frame = pc.receive(static_cast<int>(left));
        if (frame.empty()) break;
        heard.push_back({frame, elapsed_ms(start)});
    }
    return heard;
}

// The addresses the host-interface replies heard repeat, in order.
std::vector<uint32_t> answered(const std::vector<Heard>& heard) {
    std::vector<uint32_t> addresses;
    for (const Heard& h : heard)
        if (is_host_interface(h.frame)) addresses.push_back(word_at(h.frame, 28));
    return addresses;
}

std::vector<Bytes> reads_from(uint32_t address, int count) {
    std::vector<Bytes> reads;
    for (int i = 0; i < count; ++i) reads.push_back(read_request(address + 4 * i, 4));
    return reads;
}

}  // namespace

TEST(DevsimWire, EveryRequestKindAndTheCapture) {
    std::string capture = temp_path("all.pcap");
    DevsimProcess devsim({"--capture", capture, "--fw-version", "7.2.3"});
    ASSERT_TRUE(devsim.ready()) << devsim.output();
    PcSocket pc;
    ASSERT_TRUE(pc.ok());

    Bytes version_read = read_request(0x827E, 4);
    auto r = pc.ask(version_read);
    ASSERT_GE(r.size(), 36u);
    EXPECT_EQ(word_at(r, 32) & 0xFFFF, 0x1C23u);

    Bytes block(1400);
    for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<uint8_t>(i);
    r = pc.ask(write_request(0x28000, block));
    EXPECT_EQ(length_field(r), 1412);
    r = pc.ask(read_request(0x28000, 1400));
    ASSERT_EQ(r.size(), 1432u);
    EXPECT_TRUE(std::equal(block.begin(), block.end(), r.begin() + 32));

    pc.ask(request(6, 7, 1, {0x5A}));
    r = pc.ask(request(5, 7 + 32, 1));
    ASSERT_GE(r.size(), 33u);
    EXPECT_EQ(r[32], 0x5A);

    r = pc.ask(address_query());
    ASSERT_GE(r.size(), 12u);
    EXPECT_TRUE(std::equal(r.begin() + 6, r.begin() + 12, device_mac));

    Bytes loop(100, 0x33);
    std::copy(device_mac, device_mac + 6, loop.begin());
    std::copy(pc_mac, pc_mac + 6, loop.begin() + 6);
    loop[12] = 0x88;
    loop[13] = 0x6C;
    r = pc.ask(loop);
    ASSERT_EQ(r.size(), loop.size());
    EXPECT_TRUE(std::equal(r.begin() + 12, r.end(), loop.begin() + 12));

    devsim.stop();
    auto frames = captured_frames(capture);
    ASSERT_EQ(frames.size(), 14u) << "seven requests and seven answers";
    EXPECT_EQ(frames[0], version_read);
    EXPECT_TRUE(std::equal(device_mac, device_mac + 6, frames[1].begin() + 6));
    EXPECT_EQ(length_field(frames[1]), 16);
    EXPECT_EQ(frames[12], loop);
    EXPECT_EQ(std::string(devsim.output()).find("echoed 1,") != std::string::npos, true) << devsim.output();
}

TEST(DevsimWire, ActivateSilencesForBusyWindow) {
    DevsimProcess devsim({"--busy-ms", "200"});
    ASSERT_TRUE(devsim.ready());
    PcSocket pc;
    auto start = std::chrono::steady_clock::now();
    pc.send(request(4, 0, 0));
    EXPECT_TRUE(pc.ask(read_request(0, 4), 100).empty());
    Bytes r;
    while (r.empty() && elapsed_ms(start) < 2000) r = pc.ask(read_request(0, 4), 20);
    EXPECT_FALSE(r.empty());
    EXPECT_GE(elapsed_ms(start), 190);
}

TEST(DevsimWire, ResetKeepsBootModeAndComesBack) {
    DevsimProcess devsim({"--reset-ms", "150", "--boot-mode", "3"});
    ASSERT_TRUE(devsim.ready());
    PcSocket pc;
    auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(pc.ask(write_request(0x00E00000, word_bytes(6)), 50).empty());
    Bytes r;
    while (r.empty() && elapsed_ms(start) < 2000) r = pc.ask(read_request(0x00E00018, 4), 20);
    ASSERT_FALSE(r.empty());
    EXPECT_EQ(word_at(r, 32), 3u);
    EXPECT_GE(elapsed_ms(start), 140);
}

TEST(DevsimWire, LoadAndDumpFiles) {
    std::string in = temp_path("load.bin"), out = temp_path("dump.bin");
    {
        std::ofstream f(in, std::ios::binary);
        f << "0123456789";
    }
    {
        DevsimProcess devsim({"--load", "8000=" + in, "--dump", "8004:8=" + out});
        ASSERT_TRUE(devsim.ready());
        PcSocket pc;
        auto r = pc.ask(read_request(0x8000, 4));
        ASSERT_GE(r.size(), 36u);
        EXPECT_EQ(std::string(r.begin() + 32, r.begin() + 36), "0123");
        pc.ask(write_request(0x8008, {'A', 'B'}));
    }
    auto dumped = file_bytes(out);
    EXPECT_EQ(std::string(dumped.begin(), dumped.end()), std::string("4567AB\0\0", 8));
}

TEST(DevsimWire, MalformedFloodDoesNotHurt) {
    DevsimProcess devsim({});
    ASSERT_TRUE(devsim.ready());
    PcSocket pc;
    uint32_t state = 12345;
    auto next = [&] { return state = state * 1103515245u + 12345u; };
    int sent = 0;
    for (int i = 0; i < 2000; ++i) {
        Bytes f(16 + next() % 1498);
        for (auto& b : f) b = static_cast<uint8_t>(next() >> 16);
        std::copy(device_mac, device_mac + 6, f.begin());
        std::copy(pc_mac, pc_mac + 6, f.begin() + 6);
        f[12] = 0x88;
        f[13] = 0x6C;
        f[14] = 0x80;
        f[15] = 0x01;
        if (f.size() >= 18) {  // a length field that never fits the frame
            uint16_t length = static_cast<uint16_t>(f.size() - 20 + 1 + next() % 60000);
            f[16] = static_cast<uint8_t>(length);
            f[17] = static_cast<uint8_t>(length >> 8);
        }
        if (pc.send(f)) ++sent;
        // Keep the flood within what the emulator's socket buffer holds.
        if (i % 50 == 49) {
            ASSERT_FALSE(pc.ask(read_request(0, 4), 1000).empty());
        }
    }
    EXPECT_FALSE(pc.ask(read_request(0, 4), 1000).empty());
    devsim.stop();
    EXPECT_EQ(devsim.exit_status(), 0);
    EXPECT_NE(devsim.output().find("malformed " + std::to_string(sent) + ","), std::string::npos) << devsim.output();
}

TEST(DevsimWire, BadInterfaceIsNotReady) {
    DevsimProcess devsim({"-i", "no-such-if0"});
    EXPECT_FALSE(devsim.ready());
}

TEST(DevsimWire, StationsShareTheWire) {
    DevsimProcess devsim({"--node", "0A:3F:71:00:00:02", "--node", "0A:3F:71:00:00:03"});
    ASSERT_TRUE(devsim.ready());
    PcSocket pc;
    for (uint8_t last : {1, 2, 3}) {
        const uint8_t to[6] = {0x0A, 0x3F, 0x71, 0x00, 0x00, last};
        auto r = pc.ask(zdp_request(to, 0x08, last));
        ASSERT_GE(r.size(), 26u) << int(last);
        EXPECT_TRUE(std::equal(to, to + 6, r.begin() + 6));
        EXPECT_EQ(r[19], 0);
        EXPECT_EQ(r[25], last);
    }
    auto r = pc.ask(read_request(0x80002070, 4));
    ASSERT_GE(r.size(), 36u);
    EXPECT_EQ(word_at(r, 32), 0x00020000u);
}

namespace {

// One fault of devsim's command line, and what the PC sees only with it.
struct WireFault {
    const char* name;
    std::vector<std::string> options;
    std::function<void(PcSocket&)> shows;
};

const WireFault WIRE_FAULTS[] = {
    {"--silent", {"--silent"},
     [](PcSocket& pc) {
         EXPECT_TRUE(exchange(pc, {read_request(0x100, 4), address_query(), zdp_request(device_mac, 0x08, 1)}, 300)
                         .empty());
     }},
    {"--drop-first", {"--drop-first", "2"},
     [](PcSocket& pc) {
         EXPECT_EQ(answered(exchange(pc, reads_from(0x100, 4), 300, 2)), (std::vector<uint32_t>{0x108, 0x10C}));
     }},
    {"--drop-prob", {"--drop-prob", "0.5", "--seed", "7"},
     [](PcSocket& pc) {
         const size_t replies = answered(exchange(pc, reads_from(0x1000, 64), 500)).size();
         EXPECT_GT(replies, 16u);
         EXPECT_LT(replies, 48u);
     }},
    {"--delay-ms", {"--delay-ms", "150"},
     [](PcSocket& pc) {
         auto heard = exchange(pc, {read_request(0x100, 4)}, 1000, 1);
         ASSERT_EQ(heard.size(), 1u);
         EXPECT_GE(heard[0].at_ms, 149);
     }},
    {"--jitter-ms", {"--jitter-ms", "100:150", "--seed", "3"},
     [](PcSocket& pc) {
         auto heard = exchange(pc, {read_request(0x100, 4)}, 1000, 1);
         ASSERT_EQ(heard.size(), 1u);
         EXPECT_GE(heard[0].at_ms, 99);
     }},
    {"--query-delay-ms", {"--query-delay-ms", "200"},
     [](PcSocket& pc) {
         auto heard = exchange(pc, {address_query(), read_request(0x100, 4)}, 1000, 2);
         ASSERT_EQ(heard.size(), 2u);
         EXPECT_TRUE(is_host_interface(heard[0].frame)) << "the read is not held";
         EXPECT_EQ(heard[1].frame[14], 0x03);
         EXPECT_GE(heard[1].at_ms, 199);
     }},
    {"--short-write", {"--short-write", "3"},
     [](PcSocket& pc) {
         auto heard = exchange(pc, {write_request(0x200, word_bytes(0x04030201)), read_request(0x200, 4)}, 300, 2);
         ASSERT_EQ(heard.size(), 2u);
         EXPECT_EQ(length_field(heard[0].frame), 12 + 3);
         EXPECT_EQ(word_at(heard[1].frame, 32), 0x030201u);
     }},
    {"--dup-prob", {"--dup-prob", "1", "--dup-lag", "50:60"},
     [](PcSocket& pc) {
         auto heard = exchange(pc, {read_request(0x100, 4)}, 400, 2);
         ASSERT_EQ(heard.size(), 2u);
         EXPECT_EQ(heard[1].frame, heard[0].frame);
         EXPECT_GE(heard[1].at_ms - heard[0].at_ms, 45);
     }},
    {"--late-first-ms", {"--late-first-ms", "150"},
     [](PcSocket& pc) {
         EXPECT_TRUE(exchange(pc, {read_request(0x100, 4)}, 100).empty());
         EXPECT_EQ(answered(exchange(pc, {read_request(0x100, 4)}, 400, 2)), (std::vector<uint32_t>{0x100, 0x100}))
             << "the repeat's reply, then the first one's";
     }},
    {"--no-echo", {"--no-echo"},
     [](PcSocket& pc) {
         auto heard = exchange(pc, {read_request(0x100, 4)}, 300, 1);
         ASSERT_EQ(heard.size(), 1u);
         EXPECT_EQ(heard[0].frame[23], 0);
         EXPECT_EQ(word_at(heard[0].frame, 28), 0u);
     }},
    {"--stray-zdp-ms", {"--stray-zdp-ms", "20"},
     [](PcSocket& pc) {
         size_t stray = 0;
         for (const Heard& h : exchange(pc, {read_request(0x100, 4)}, 400, 6)) stray += is_zdp(h.frame);
         EXPECT_GE(stray, 5u) << "unasked ZDP frames to the PC";
     }},
    {"--unreadable", {"--unreadable", "8000:10"},
     [](PcSocket& pc) {
         EXPECT_EQ(answered(exchange(pc, {read_request(0x8000, 4), read_request(0x9000, 4)}, 300)),
                   std::vector<uint32_t>{0x9000});
     }},
    {"--bare-write-replies", {"--bare-write-replies"},
     [](PcSocket& pc) {
         auto heard = exchange(pc, {write_request(0x100, word_bytes(0x11223344))}, 300, 1);
         ASSERT_EQ(heard.size(), 1u);
         EXPECT_EQ(length_field(heard[0].frame), 16);
         EXPECT_EQ(word_at(heard[0].frame, 32), 0u) << "the data is not repeated";
     }},
    {"--query-answer-hostif", {"--query-answer-hostif"},
     [](PcSocket& pc) {
         auto heard = exchange(pc, {address_query()}, 300, 1);
         ASSERT_EQ(heard.size(), 1u);
         EXPECT_TRUE(is_host_interface(heard[0].frame));
     }},
    {"--prog-fail", {"--prog-fail", "1", "--erase-ms", "0", "--program-ms", "0"},
     [](PcSocket& pc) {
         auto heard = exchange(pc,
                               {write_request(0x28000, Bytes(16, 0x5A)), write_request(0x8820, word_bytes(851)),
                                read_request(0x8824, 4)},
                               500, 3);
         ASSERT_EQ(heard.size(), 3u);
         EXPECT_NE(word_at(heard[2].frame, 32), 0u) << "programming piece 1 fails";
     }},
    {"--zdp-drop", {"--zdp-drop", "0.5", "--seed", "7"},
     [](PcSocket& pc) {
         std::vector<Bytes> requests;
         for (uint16_t sequence = 1; sequence <= 64; ++sequence)
             requests.push_back(zdp_request(device_mac, 0x08, sequence));
         size_t acknowledged = 0;
         for (const Heard& h : exchange(pc, requests, 500)) acknowledged += is_zdp(h.frame);
         EXPECT_GT(acknowledged, 16u);
         EXPECT_LT(acknowledged, 48u);
     }},
    {"--zdp-stale", {"--zdp-stale"},
     [](PcSocket& pc) {
         auto heard = exchange(pc, {zdp_request(device_mac, 0x08, 5)}, 300, 2);
         ASSERT_EQ(heard.size(), 2u);
         EXPECT_EQ(sequence_of(heard[0].frame), 4) << "one with the sequence before, first";
         EXPECT_EQ(sequence_of(heard[1].frame), 5);
     }},
    {"--zdp-error", {"--zdp-error", "5"},
     [](PcSocket& pc) {
         auto heard = exchange(pc, {zdp_request(device_mac, 0x08, 5)}, 300, 1);
         ASSERT_EQ(heard.size(), 1u);
         EXPECT_EQ(heard[0].frame[19], 0x01);
         EXPECT_EQ(heard[0].frame[30], 5);
     }},
    {"--zdp-late", {"--zdp-late", "150"},
     [](PcSocket& pc) {
         auto heard = exchange(pc, {zdp_request(device_mac, 0x08, 5), read_request(0x100, 4)}, 1000, 2);
         ASSERT_EQ(heard.size(), 2u);
         EXPECT_TRUE(is_host_interface(heard[0].frame)) << "the memory reply is not held";
         EXPECT_TRUE(is_zdp(heard[1].frame));
         EXPECT_GE(heard[1].at_ms, 149);
     }},
    {"--stats-counters", {"--stats-counters", "1"},
     [](PcSocket& pc) {
         auto heard = exchange(pc, {zdp_request(device_mac, 0x17, 5)}, 300, 1);
         ASSERT_EQ(heard.size(), 1u);
         EXPECT_EQ(heard[0].frame[16] << 8 | heard[0].frame[17], 10 + 8 + 8) << "one counter, no samples";
     }},
};

}  // namespace

// Each fault option, given on the command line, shows on the wire.
TEST(DevsimWire, EveryFaultOptionShowsOnTheWire) {
    for (const WireFault& fault : WIRE_FAULTS) {
        SCOPED_TRACE(fault.name);
        DevsimProcess devsim(fault.options);
        ASSERT_TRUE(devsim.ready()) << devsim.output();
        PcSocket pc;
        ASSERT_TRUE(pc.ok());
        fault.shows(pc);
    }
}
