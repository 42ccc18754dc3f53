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

// Addresses, EtherType 0x886C and sub-protocol 80 `sub` of a frame from the
// PC to `to`.
inline void put_header(Bytes& f, const uint8_t* to, uint8_t sub) {
    std::memcpy(&f[0], to, 6);
    std::memcpy(&f[6], pc_mac, 6);
    f[12] = 0x88;
    f[13] = 0x6C;
    f[14] = 0x80;
    f[15] = sub;
}

// A host-interface request: header of 32 bytes, length field 12 + count,
// padded to 64 bytes like the loader sends it.
inline Bytes request(uint8_t opcode, uint32_t address, uint16_t count, const Bytes& data = {},
                     const uint8_t* to = device_mac) {
    size_t size = 32 + (data.empty() ? count : data.size());
    Bytes f(size < 64 ? 64 : size, 0);
    put_header(f, to, 0x01);
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

// One segment of a ZDP request: type and value.
struct Segment {
    uint16_t type;
    Bytes value;
};

// A ZDP request as the loader builds it: segments padded to four bytes, the
// length field counting from byte 16, two zero bytes after them; one without
// segments is padded to 60 bytes.
inline Bytes zdp_request(const uint8_t* to, uint8_t opcode, uint16_t sequence,
                         const std::vector<Segment>& segments = {}) {
    Bytes f(26, 0);
    put_header(f, to, 0x02);
    f[19] = opcode;
    f[24] = static_cast<uint8_t>(sequence >> 8);
    f[25] = static_cast<uint8_t>(sequence);
    for (const auto& s : segments) {
        f.push_back(static_cast<uint8_t>(s.type >> 8));
        f.push_back(static_cast<uint8_t>(s.type));
        f.push_back(0);
        f.push_back(static_cast<uint8_t>(s.value.size()));
        f.insert(f.end(), s.value.begin(), s.value.end());
        while (f.size() % 4 != 2) f.push_back(0);
    }
    uint16_t length = static_cast<uint16_t>(f.size() - 16);
    f[16] = static_cast<uint8_t>(length >> 8);
    f[17] = static_cast<uint8_t>(length);
    f.push_back(0);
    f.push_back(0);
    if (segments.empty()) f.resize(60, 0);
    return f;
}

inline uint16_t sequence_of(const Bytes& f) { return static_cast<uint16_t>(f[24] << 8 | f[25]); }

inline uint16_t length_field(const Bytes& f) { return static_cast<uint16_t>(f[16] | (f[17] << 8)); }
inline uint32_t word_at(const Bytes& f, size_t offset) {
    return f[offset] | (f[offset + 1] << 8) | (f[offset + 2] << 16) | (static_cast<uint32_t>(f[offset + 3]) << 24);
}

}  // namespace test_frames
