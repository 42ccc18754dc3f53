#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <set>
#include <utility>
#include <vector>

#include "scripted_link.h"

// Answers host-interface memory reads and writes (sub-protocol 0x01) from a
// byte map, as the local device would; unset bytes read as zero.
struct DeviceMemory {
    std::map<uint32_t, uint8_t> bytes;
    std::vector<std::pair<uint32_t, uint32_t>> word_writes;   // (address, value) in order
    std::set<uint32_t> silent_reads;                           // reads of these addresses get no reply
    std::set<uint32_t> failing_writes;                         // writes to these addresses get no reply

    void put_word(uint32_t address, uint32_t value) {
        for (int i = 0; i < 4; ++i) bytes[address + i] = static_cast<uint8_t>(value >> (8 * i));
    }
    void put_bytes(uint32_t address, const std::vector<uint8_t>& data) {
        for (size_t i = 0; i < data.size(); ++i) bytes[address + static_cast<uint32_t>(i)] = data[i];
    }

    void answer(const ScriptedLink::Frame& sent, std::deque<ScriptedLink::Frame>& replies) {
        if (sent.size() < 32 || sent[15] != 0x01) return;
        int n = (sent[16] | (sent[17] << 8)) - 12;
        uint32_t address = sent[28] | (sent[29] << 8) | (sent[30] << 16) | (static_cast<uint32_t>(sent[31]) << 24);
        uint8_t opcode = sent[23];
        if (n < 0) return;
        ScriptedLink::Frame reply(sent.begin(), sent.begin() + 32);
        std::swap_ranges(reply.begin(), reply.begin() + 6, reply.begin() + 6);
        if (opcode == 2) {
            if (silent_reads.count(address)) return;
            for (int i = 0; i < n; ++i) {
                auto found = bytes.find(address + i);
                reply.push_back(found == bytes.end() ? 0 : found->second);
            }
        } else if (opcode == 3) {
            if (failing_writes.count(address)) return;
            if (static_cast<int>(sent.size()) < 32 + n) return;
            for (int i = 0; i < n; ++i) bytes[address + i] = sent[32 + i];
            if (n == 4) {
                word_writes.emplace_back(address, sent[32] | (sent[33] << 8) | (sent[34] << 16) |
                                                      (static_cast<uint32_t>(sent[35]) << 24));
            }
            reply.insert(reply.end(), sent.begin() + 32, sent.begin() + 32 + n);
        } else {
            return;
        }
        while (reply.size() < 64) reply.push_back(0);
        replies.push_back(std::move(reply));
    }
};
