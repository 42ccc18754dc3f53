#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "hostif/host_interface.h"
#include "scripted_link.h"
#include "settings/settings.h"
#include "zdp/statistics.h"
#include "zdp/transfer_tables.h"
#include "zdp/zdp_client.h"

// Simulated time: sleeps advance the clock at once, keys come from a queue.
class FakePacing : public ZdpPacing {
public:
    long long now_ms = 1'000'000'000'000LL;   // a whole second
    long long slept_ms = 0;
    std::deque<int> keys;
    // Runs after every sleep: lets a test make replies arrive later.
    std::function<void()> after_sleep;
    long long now_seconds() override { return now_ms / 1000; }
    void sleep_ms(int milliseconds) override {
        now_ms += milliseconds;
        slept_ms += milliseconds;
        if (after_sleep) after_sleep();
    }
    int key_waiting() override { return keys.empty() ? 0 : 1; }
    int read_key() override {
        if (keys.empty()) return -1;
        int key = keys.front();
        keys.pop_front();
        return key;
    }
};

using Frame = ScriptedLink::Frame;

inline const uint8_t PC_MAC[6] = {0x02, 0x00, 0x00, 0x00, 0x00, 0xAA};
inline const uint8_t NODE_A[6] = {0x02, 0x00, 0x00, 0x00, 0x00, 0x07};
inline const uint8_t NODE_B[6] = {0x02, 0x00, 0x00, 0x00, 0x00, 0x08};

inline uint16_t be16(const Frame& frame, size_t at) { return static_cast<uint16_t>((frame[at] << 8) | frame[at + 1]); }
inline uint16_t sequence_of(const Frame& frame) { return be16(frame, 24); }

// A ZDP reply from `source` with the given opcode and sequence number; extra
// bytes follow the 26-byte header (segments).
inline Frame zdp_reply(uint8_t opcode, uint16_t sequence, const std::vector<uint8_t>& segments = {},
                       const uint8_t* source = NODE_A) {
    Frame frame(26 + segments.size(), 0);
    std::memcpy(frame.data(), PC_MAC, 6);
    std::memcpy(frame.data() + 6, source, 6);
    frame[12] = 0x88;
    frame[13] = 0x6C;
    frame[14] = 0x80;
    frame[15] = 0x02;
    uint16_t length = static_cast<uint16_t>(10 + segments.size());
    frame[16] = static_cast<uint8_t>(length >> 8);
    frame[17] = static_cast<uint8_t>(length);
    frame[19] = opcode;
    frame[24] = static_cast<uint8_t>(sequence >> 8);
    frame[25] = static_cast<uint8_t>(sequence);
    std::copy(segments.begin(), segments.end(), frame.begin() + 26);
    return frame;
}

// Statistics reply segments: a leading segment, counters (type, value) and
// optional demodulator samples (sea, psc, pe).
struct Sample {
    uint32_t sea;
    uint16_t psc;
    uint16_t pe;
};
inline std::vector<uint8_t> statistics_segments(const std::vector<std::pair<uint16_t, uint32_t>>& counters,
                                                const std::vector<Sample>& samples = {}) {
    std::vector<uint8_t> bytes(8, 0);
    for (auto [type, value] : counters) {
        uint8_t segment[8] = {static_cast<uint8_t>(type >> 8), static_cast<uint8_t>(type), 0, 4,
                              static_cast<uint8_t>(value >> 24), static_cast<uint8_t>(value >> 16),
                              static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)};
        bytes.insert(bytes.end(), segment, segment + 8);
    }
    for (const Sample& sample : samples) {
        uint8_t segment[12] = {0x02, 0x00, 0, 8,
                               static_cast<uint8_t>(sample.sea), static_cast<uint8_t>(sample.sea >> 8),
                               static_cast<uint8_t>(sample.sea >> 16), static_cast<uint8_t>(sample.sea >> 24),
                               static_cast<uint8_t>(sample.psc), static_cast<uint8_t>(sample.psc >> 8),
                               static_cast<uint8_t>(sample.pe), static_cast<uint8_t>(sample.pe >> 8)};
        bytes.insert(bytes.end(), segment, segment + 12);
    }
    return bytes;
}

inline std::vector<std::pair<uint16_t, uint32_t>> transmitter_counters(uint32_t packets) {
    return {{0x0101, packets}, {0x0102, packets * 100}, {0x0103, 0}, {0x0104, 1234}};
}
inline std::vector<std::pair<uint16_t, uint32_t>> receiver_counters(uint32_t packets) {
    return {{0x0105, packets}, {0x0106, packets * 100}, {0x0107, 0}, {0x0108, 0}, {0x0109, 0},
            {0x010A, 0},       {0x010B, 4321},          {0x010C, 0}, {0x010D, 0}};
}

// A ZDP client bound to a scripted link, simulated time and clean test state.
class ZdpTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::memcpy(link.local_mac, PC_MAC, 6);
        ASSERT_EQ(zdp.init(&link), ZDK_SUCCESS);
        zdp.set_pacing(&pacing);
        reset_transfer_tables();
        reset_per_accumulator();
        forget_reply_history();
        debug_level = 0;
        cert_verbose = 0;
        stop_on_failure = 0;
    }
    void TearDown() override {
        debug_level = 0;
        cert_verbose = 0;
        stop_on_failure = 0;
    }

    // Every ZDP request is acknowledged with OK and its own sequence number.
    void acknowledge_everything() {
        link.responder = [](const Frame& sent, std::deque<Frame>& replies) {
            if (sent.size() > 25 && sent[15] == 0x02) replies.push_back(zdp_reply(0, sequence_of(sent)));
        };
    }

    // A script file holding `text`, positioned at its start.
    std::FILE* script_file(const std::string& text) {
        std::FILE* file = std::tmpfile();
        std::fputs(text.c_str(), file);
        std::rewind(file);
        files_.push_back(file);
        return file;
    }

    ~ZdpTest() override {
        for (std::FILE* file : files_) std::fclose(file);
    }

    ScriptedLink link;
    ZdpClient zdp;
    FakePacing pacing;

private:
    std::vector<std::FILE*> files_;
};
