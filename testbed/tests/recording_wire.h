#pragma once

#include <vector>

#include "device.h"

// Keeps every frame the emulator sends, for assertions.
class RecordingWire : public Wire {
public:
    std::vector<std::vector<uint8_t>> frames;
    void transmit(const uint8_t* bytes, size_t length) override { frames.emplace_back(bytes, bytes + length); }
    std::vector<uint8_t> take_last() {
        auto f = frames.empty() ? std::vector<uint8_t>{} : frames.back();
        frames.clear();
        return f;
    }
};
