#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

// Frames as the PC side sends them, built byte by byte so that the tests do
// not share the emulator's own layout helpers.
namespace test_frames {

using Bytes = std::vector<uint8_t>;

inline const uint8_t device_mac[6] = {0x0A, 0x3F, 0x71, 0x00, 0x00, 0x01};
inline const uint8_t pc_mac[6] = {0x02, 0x00, 0x00, 0x00, 0x00, 0x02};

// A host-interface request: header of 32 bytes, length field 12 + count,
// padded to 64 bytes like the loader sends it.
inline Bytes request(uint8_t opcode, uint32_t address, uint16_t count, const Bytes& data = {},
                     const uint8_t* to = device_mac) {
    size_t size = 32 + (data.empty() ? count : data.size());
    Bytes f(size < 64 ? 64 : size, 0);
    std::memcpy(&f[0], to, 6);
    std::memcpy(&f[6], pc_mac, 6);
    f[12] = 0x88;
    f[13] = 0x6C;
    f[14] = 0x80;
    f[15] = 0x01;
    uint16_t length = static_cast<uint16_t>(12 + count);
    f[16] = static_cast<uint8_t>(length);
    f[17] = static_cast<uint8_t>(length >> 8);
    const uint8_t head[5] = {0x00, 0x0A, 0x3F, 0x71, 0x0A};
    std::memcpy(&f[18], head, 5);
    f[23] = opcode;
    for (int i = 0; i < 4; ++i) f[28 + i] = static_cast<uint8_t>(address >> (8 * i));
    if (!data.empty()) std::memcpy(&f[32], data.data(), data.size());
    return f;
}

inline Bytes word_bytes(uint32_t v) {
    return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
            static_cast<uint8_t>(v >> 24)};
}

inline Bytes read_request(uint32_t address, uint16_t count) { return request(2, address, count); }
inline Bytes write_request(uint32_t address, const Bytes& data) {
    return request(3, address, static_cast<uint16_t>(data.size()), data);
}

inline Bytes address_query() {
    Bytes f(32, 0);
    std::memset(&f[0], 0xFF, 6);
    std::memcpy(&f[6], pc_mac, 6);
    f[12] = 0x88;
    f[13] = 0x6C;
    f[14] = 0x03;
    f[15] = 0x00;
    return f;
}

inline uint16_t length_field(const Bytes& f) { return static_cast<uint16_t>(f[16] | (f[17] << 8)); }
inline uint32_t word_at(const Bytes& f, size_t offset) {
    return f[offset] | (f[offset + 1] << 8) | (f[offset + 2] << 16) | (static_cast<uint32_t>(f[offset + 3]) << 24);
}

}  // namespace test_frames
