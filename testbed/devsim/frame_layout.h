#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

// Byte offsets of the frames the device speaks. Host-interface header fields
// are little-endian; the EtherType is big-endian.
namespace frame {

constexpr size_t destination = 0;
constexpr size_t source = 6;
constexpr size_t ether_type = 12;
constexpr size_t protocol_mark = 14;  // 0x80 for both sub-protocols
constexpr size_t sub_protocol = 15;

constexpr uint16_t ether_type_value = 0x886C;
constexpr uint8_t protocol_mark_value = 0x80;
constexpr uint8_t host_interface = 0x01;
constexpr uint8_t zdp = 0x02;
// The device-address query replaces bytes 14 and 15 with these two.
constexpr uint8_t query_mark = 0x03;
constexpr uint8_t query_sub = 0x00;

// Host-interface message header.
constexpr size_t length = 16;         // 12 + data bytes
constexpr size_t template_head = 18;  // 5 bytes carried by the loader's template
constexpr size_t opcode = 23;
constexpr size_t template_tail = 24;  // 4 bytes carried by the loader's template
constexpr size_t address = 28;
constexpr size_t data = 32;
constexpr size_t header_size = 32;
constexpr size_t length_overhead = 12;  // length field minus data bytes

// The Ethernet limit of 1514 bytes leaves this much data on the wire.
constexpr size_t max_data = 1482;
constexpr size_t max_frame = 1514;
// Replies are padded like any Ethernet frame without its check sequence.
constexpr size_t min_frame = 60;

enum Opcode : uint8_t {
    run_code = 1,
    read_memory = 2,
    write_memory = 3,
    activate = 4,
    read_serial = 5,
    write_serial = 6,
};

using Mac = uint8_t[6];

inline uint16_t get16le(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t get32le(const uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline void put16le(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
inline void put32le(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline uint16_t get16be(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }
inline void put16be(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v >> 8);
    p[1] = static_cast<uint8_t>(v);
}
inline bool same_mac(const uint8_t* a, const uint8_t* b) { return std::memcmp(a, b, 6) == 0; }
inline bool is_broadcast(const uint8_t* mac) {
    for (int i = 0; i < 6; ++i)
        if (mac[i] != 0xFF) return false;
    return true;
}

}  // namespace frame
