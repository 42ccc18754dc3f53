// Runs inside the test namespace: devsim on dv0, this process as the PC on
// hl0.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

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
        Bytes f(60, 0);
        const uint8_t to[6] = {0x0A, 0x3F, 0x71, 0x00, 0x00, last};
        std::copy(to, to + 6, f.begin());
        std::copy(pc_mac, pc_mac + 6, f.begin() + 6);
        f[12] = 0x88;
        f[13] = 0x6C;
        f[14] = 0x80;
        f[15] = 0x02;
        f[17] = 10;
        f[19] = 0x08;
        f[25] = last;
        auto r = pc.ask(f);
        ASSERT_GE(r.size(), 26u) << int(last);
        EXPECT_TRUE(std::equal(to, to + 6, r.begin() + 6));
        EXPECT_EQ(r[19], 0);
        EXPECT_EQ(r[25], last);
    }
    auto r = pc.ask(read_request(0x80002070, 4));
    ASSERT_GE(r.size(), 36u);
    EXPECT_EQ(word_at(r, 32), 0x00020000u);
}
