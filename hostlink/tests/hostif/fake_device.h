#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "hostif/host_interface.h"
#include "hostif/pause.h"
#include "scripted_link.h"
#include "settings/settings.h"

// A device for the scripted link: answers host-interface requests from a
// sparse memory, serves the programming mailbox, and can be made silent,
// forgetful (short writes) or different in its reply header bytes, or keep
// zeros where other devices repeat the request's opcode and address.
struct FakeDevice {
    std::map<uint32_t, uint8_t> memory;
    std::map<uint32_t, uint8_t> serial;
    bool silent = false;
    int short_write = -1;                         // report at most this many bytes written
    std::optional<std::array<uint8_t, 5>> reply_bytes_18;  // bytes 18-22 of every reply
    bool echoes = true;                           // replies repeat opcode and address
    std::vector<uint32_t> commands;               // words written to the mailbox command
    // Status word after a mailbox command; by default 0 for the flash and the
    // length word for the EEPROM commands.
    std::function<uint32_t(uint32_t command)> mailbox;
    std::array<uint8_t, 6> mac{0x0A, 0x3F, 0x71, 0x00, 0x00, 0x01};

    void attach(ScriptedLink& link) {
        link.responder = [this](const ScriptedLink::Frame& sent, std::deque<ScriptedLink::Frame>& replies) {
            answer(sent, replies);
        };
    }

    uint32_t word(uint32_t address) const {
        uint32_t value = 0;
        for (int i = 0; i < 4; ++i) value |= uint32_t(byte(memory, address + i)) << (8 * i);
        return value;
    }
    void set_word(uint32_t address, uint32_t value) {
        for (int i = 0; i < 4; ++i) memory[address + i] = uint8_t(value >> (8 * i));
    }
    std::vector<uint8_t> bytes(uint32_t address, int n) const {
        std::vector<uint8_t> out;
        for (int i = 0; i < n; ++i) out.push_back(byte(memory, address + i));
        return out;
    }

private:
    static uint8_t byte(const std::map<uint32_t, uint8_t>& space, uint32_t address) {
        auto found = space.find(address);
        return found == space.end() ? 0 : found->second;
    }

    ScriptedLink::Frame reply_to(const ScriptedLink::Frame& request, int length_field, int data) {
        ScriptedLink::Frame reply(std::max(60, 32 + data), 0);
        std::memcpy(reply.data(), request.data() + 6, 6);
        std::memcpy(reply.data() + 6, request.data(), 6);
        std::memcpy(reply.data() + 12, request.data() + 12, 20);
        reply[16] = uint8_t(length_field);
        reply[17] = uint8_t(length_field >> 8);
        if (reply_bytes_18) std::memcpy(reply.data() + 18, reply_bytes_18->data(), 5);
        if (!echoes) {
            reply[23] = 0;
            put_le32(reply.data() + 28, 0);
        }
        return reply;
    }

    void answer(const ScriptedLink::Frame& request, std::deque<ScriptedLink::Frame>& replies) {
        if (silent || request.size() < 32) return;
        if (request[14] == 0x03 && request[15] == 0x00) {
            ScriptedLink::Frame reply(60, 0);
            std::memset(reply.data(), 0xFF, 6);
            std::memcpy(reply.data() + 6, mac.data(), 6);
            reply[12] = 0x88;
            reply[13] = 0x6C;
            replies.push_back(reply);
            return;
        }
        int n = (request[16] | request[17] << 8) - 12;
        uint8_t opcode = request[23];
        uint32_t address = get_le32(request.data() + 28);
        auto& space = (opcode == OPCODE_READ_SERIAL || opcode == OPCODE_WRITE_SERIAL) ? serial : memory;
        if (opcode == OPCODE_READ_MEMORY || opcode == OPCODE_READ_SERIAL) {
            auto reply = reply_to(request, 12 + n, n);
            for (int i = 0; i < n; ++i) reply[32 + i] = byte(space, address + i);
            replies.push_back(reply);
        } else if (opcode == OPCODE_WRITE_MEMORY || opcode == OPCODE_WRITE_SERIAL) {
            if (address == RESET_CONTROL_ADDRESS) return;  // resets before it could answer
            int written = short_write >= 0 && short_write < n ? short_write : n;
            for (int i = 0; i < written; ++i) space[address + i] = request[32 + i];
            if (address == 0x8820 && written == 4) run_mailbox(get_le32(request.data() + 32));
            replies.push_back(reply_to(request, 12 + written, 0));
        }
    }

    void run_mailbox(uint32_t command) {
        commands.push_back(command);
        uint32_t status = command >= 860 ? word(0x8828) : 0;
        if (mailbox) status = mailbox(command);
        set_word(0x8824, status);
    }
};

// What a test reads back from a sent host-interface frame.
inline int frame_opcode(const ScriptedLink::Frame& f) { return f[23]; }
inline uint32_t frame_address(const ScriptedLink::Frame& f) { return get_le32(f.data() + 28); }
inline int frame_length_field(const ScriptedLink::Frame& f) { return f[16] | f[17] << 8; }
inline uint32_t frame_word(const ScriptedLink::Frame& f) { return get_le32(f.data() + 32); }

// Pauses are counted, never slept, so device waits cost nothing in tests;
// they move the scripted link's simulated clock on as a sleep would.
struct CountedPauses {
    static inline int count = 0;
    static inline long total_ms = 0;
    static void record(int ms) {
        ++count;
        total_ms += ms;
        ScriptedLink::now_us += int64_t{ms} * 1000;
    }
};

// Every test starts from a fresh process state: initial header template,
// known addresses, debug level 0, counted pauses.
class HostifTest : public ::testing::Test {
protected:
    void SetUp() override {
        reset_header_template();
        forget_reply_history();
        const uint8_t pc[6] = {0x02, 0x00, 0x00, 0x00, 0x00, 0x02};
        const uint8_t dev[6] = {0x0A, 0x3F, 0x71, 0x00, 0x00, 0x01};
        std::memcpy(pc_mac, pc, 6);
        std::memcpy(device_mac, dev, 6);
        debug_level = 0;
        CountedPauses::count = 0;
        CountedPauses::total_ms = 0;
        previous_pause_ = set_pause_function(CountedPauses::record);
        device.attach(link);
    }
    void TearDown() override {
        set_pause_function(previous_pause_);
        debug_level = 0;
    }

    // Frames sent with the given opcode, in order.
    std::vector<ScriptedLink::Frame> sent_with(int opcode) const {
        std::vector<ScriptedLink::Frame> out;
        for (const auto& f : link.sent)
            if (f.size() >= 32 && f[14] == 0x80 && frame_opcode(f) == opcode) out.push_back(f);
        return out;
    }

    ScriptedLink link;
    FakeDevice device;

private:
    PauseFunction previous_pause_ = nullptr;
};
