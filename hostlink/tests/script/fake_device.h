#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <set>
#include <vector>

#include "scripted_link.h"

// A device behind a ScriptedLink: answers host-interface reads and writes of
// memory and AFE registers from byte maps, and the broadcast address query.
// Addresses in `silent` get no answer, so the operations on them fail.
class FakeDevice {
public:
    static constexpr uint8_t MAC[6] = {0x0A, 0x3F, 0x71, 0x00, 0x00, 0x01};

    std::map<uint32_t, uint8_t> memory;
    std::map<uint32_t, uint8_t> afe;
    std::set<uint32_t> silent;
    bool answers_mac_query = true;
    // Largest count a write reply reports (short writes).
    int write_limit = 1 << 20;

    explicit FakeDevice(ScriptedLink& link) {
        link.responder = [this](const ScriptedLink::Frame& sent, std::deque<ScriptedLink::Frame>& replies) {
            respond(sent, replies);
        };
    }

    uint32_t word(uint32_t address) const {
        uint32_t value = 0;
        for (int i = 3; i >= 0; --i) value = value << 8 | byte(memory, address + uint32_t(i));
        return value;
    }

    void set_word(uint32_t address, uint32_t value) {
        for (uint32_t i = 0; i < 4; ++i) memory[address + i] = uint8_t(value >> (8 * i));
    }

    // Host-interface requests seen, as (opcode, address, data length).
    struct Request {
        uint8_t opcode;
        uint32_t address;
        int length;
        bool operator==(const Request&) const = default;
    };
    std::vector<Request> requests;

private:
    static uint8_t byte(const std::map<uint32_t, uint8_t>& map, uint32_t address) {
        auto found = map.find(address);
        return found == map.end() ? 0 : found->second;
    }

    static uint32_t le32(const uint8_t* p) {
        return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
    }

    void respond(const ScriptedLink::Frame& sent, std::deque<ScriptedLink::Frame>& replies) {
        if (sent.size() >= 16 && sent[14] == 0x03 && sent[15] == 0x00) {
            if (!answers_mac_query) return;
            ScriptedLink::Frame reply(64, 0);
            for (int i = 0; i < 6; ++i) reply[i] = sent[6 + i], reply[6 + i] = MAC[i];
            reply[12] = 0x88, reply[13] = 0x6C;
            replies.push_back(reply);
            return;
        }
        if (sent.size() < 32 || sent[15] != 0x01) return;
        uint8_t opcode = sent[23];
        uint32_t address = le32(&sent[28]);
        int length = (sent[16] | sent[17] << 8) - 12;
        requests.push_back({opcode, address, length});
        if (silent.count(address)) return;
        std::map<uint32_t, uint8_t>& target = (opcode == 5 || opcode == 6) ? afe : memory;
        ScriptedLink::Frame reply(sent.begin(), sent.begin() + 32);
        for (int i = 0; i < 6; ++i) std::swap(reply[i], reply[6 + i]);
        int count = length;
        if (opcode == 2 || opcode == 5) {
            for (int i = 0; i < length; ++i) reply.push_back(byte(target, address + uint32_t(i)));
        } else if (opcode == 3 || opcode == 6) {
            count = length < write_limit ? length : write_limit;
            for (int i = 0; i < count; ++i) target[address + uint32_t(i)] = sent[32 + size_t(i)];
            reply.insert(reply.end(), sent.begin() + 32, sent.begin() + 32 + count);
        } else {
            return;  // run code and activate are not answered
        }
        reply[16] = uint8_t(12 + count), reply[17] = uint8_t((12 + count) >> 8);
        if (reply.size() < 64) reply.resize(64, 0);
        replies.push_back(reply);
    }
};
