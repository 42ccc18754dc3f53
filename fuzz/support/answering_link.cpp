#include "answering_link.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "hostif/firmware.h"
#include "hostif/host_interface.h"

namespace {

constexpr int ETHERNET_MAX = 1514;
constexpr int HOST_INTERFACE_MIN = 64;
constexpr int MAX_DATA_ON_WIRE = 1482;
constexpr int ZDP_FRAME_MAX = 1500;
constexpr int REPLY_MIN = 60;
constexpr uint32_t RESET_WORD = 6;

// The loader's clock while a link exists, in microseconds.
int64_t simulated_us = 0;

int le16(const uint8_t* at) { return at[0] | at[1] << 8; }
int be16(const uint8_t* at) { return at[0] << 8 | at[1]; }

// What the loader sends: ZDP requests, the address query, and host-interface
// requests. The latter repeat bytes 14 and 15 from the device's last reply,
// so any frame that is neither of the other two is one of them.
enum class Kind { zdp, address_query, host_interface };

Kind kind_of(const uint8_t* f, int length) {
    if (f[14] == 0x80 && f[15] == 0x02 && length >= 28 && length <= ZDP_FRAME_MAX) {
        const int field = be16(f + 16);
        if (field >= 10 && 18 + field <= length) return Kind::zdp;
    }
    if (f[14] == 0x03 && f[15] == 0x00 && length == HEADER_SIZE) return Kind::address_query;
    return Kind::host_interface;
}

// A frame the device can take: Ethernet II of 0x886C within the size limit,
// a host-interface request with all of its data in the frame.
bool well_formed(const uint8_t* f, int length) {
    if (length < HEADER_SIZE || length > ETHERNET_MAX || f[12] != 0x88 || f[13] != 0x6C) return false;
    if (kind_of(f, length) != Kind::host_interface) return true;
    const int n = le16(f + 16) - 12;
    return length >= HOST_INTERFACE_MIN && n >= 0 && n <= MAX_DATA_ON_WIRE && HEADER_SIZE + n <= length;
}

// A frame the loader takes as a host-interface reply, as far as the frame
// alone tells.
bool looks_like_reply(const AnsweringLink::Frame& f) {
    return f.size() > size_t(HEADER_SIZE) && f.size() <= size_t(MESSAGE_BUFFER_SIZE) && f[14] == 0x80 &&
           f[15] == 0x01;
}

}  // namespace

int64_t AnsweringLink::clock() { return simulated_us; }

AnsweringLink::AnsweringLink() : previous_clock_(set_clock_function(&AnsweringLink::clock)) {
    // The four QoS tables have room; the other ids have none.
    const uint32_t room[4][2] = {{0x3B000, 2048}, {0x3B800, 512}, {0x3BA00, 3072}, {0x3C600, 1024}};
    for (int id = 0; id < 4; ++id) {
        descriptors[id][0] = room[id][0];
        descriptors[id][2] = room[id][1];
    }
}

AnsweringLink::~AnsweringLink() { set_clock_function(previous_clock_); }

ZdkStatus AnsweringLink::send_frame(const uint8_t* bytes, int length) {
    if (!well_formed(bytes, length)) std::abort();
    ++requests;
    const size_t before = waiting_.size();
    if (frames_before_answer) frames_before_answer(waiting_);
    // The device's own answer follows frames that hold none, so that a
    // host-interface wait always ends at once.
    bool answered = false;
    for (size_t i = before; i < waiting_.size(); ++i) answered = answered || looks_like_reply(waiting_[i]);
    if (kind_of(bytes, length) == Kind::host_interface && !answered) answer_host_interface(bytes);
    return ZDK_SUCCESS;
}

ZdkStatus AnsweringLink::receive_frame(const uint8_t** bytes, int* length) {
    simulated_us += 1000;  // the most a real capture call waits
    return take_waiting_frame(bytes, length);
}

ZdkStatus AnsweringLink::take_waiting_frame(const uint8_t** bytes, int* length) {
    if (waiting_.empty()) return ZDK_RECEIVE_PACKET_FAILED;
    current_ = std::move(waiting_.front());
    waiting_.pop_front();
    *bytes = current_.data();
    *length = int(current_.size());
    return ZDK_SUCCESS;
}

void AnsweringLink::answer_host_interface(const uint8_t* request) {
    const uint8_t opcode = request[23];
    const int n = le16(request + 16) - 12;
    const uint32_t address = get_le32(request + 28);
    const uint8_t* data = request + MESSAGE_DATA_OFFSET;
    const bool reads = opcode == OPCODE_READ_MEMORY || opcode == OPCODE_READ_SERIAL;
    const bool writes = opcode == OPCODE_WRITE_MEMORY || opcode == OPCODE_WRITE_SERIAL;
    if (!reads && !writes) return;  // run code and ACTIVATE get no reply
    if (opcode == OPCODE_WRITE_MEMORY && address == RESET_CONTROL_ADDRESS && n >= 4 &&
        get_le32(data) == RESET_WORD)
        return;  // the device resets before it could answer

    Frame reply(std::max(REPLY_MIN, HEADER_SIZE + (reads ? n : 0)), 0);
    std::memcpy(reply.data(), request + 6, 6);
    std::memcpy(reply.data() + 6, request, 6);
    std::memcpy(reply.data() + 12, request + 12, HEADER_SIZE - 12);
    reply[14] = 0x80;
    reply[15] = 0x01;
    if (reads) {
        if (opcode == OPCODE_READ_MEMORY) read_memory(address, reply.data() + HEADER_SIZE, n);
    } else if (opcode == OPCODE_WRITE_MEMORY) {
        write_memory(address, data, n);
    }
    waiting_.push_back(std::move(reply));
}

void AnsweringLink::read_memory(uint32_t address, uint8_t* out, int n) const {
    for (int i = 0; i < n; ++i) {
        const uint32_t at = address + uint32_t(i);
        if (at - BOOT_MODE_ADDRESS < 4) {
            out[i] = uint8_t(boot_mode_value >> (8 * (at - BOOT_MODE_ADDRESS)));
        } else if (at - SYSTEM_TABLE_ADDRESS < uint32_t(SYSTEM_TABLE_SIZE)) {
            const uint32_t offset = at - SYSTEM_TABLE_ADDRESS;
            out[i] = uint8_t(descriptors[offset / 12][offset % 12 / 4] >> (8 * (offset % 4)));
        }
    }
}

void AnsweringLink::write_memory(uint32_t address, const uint8_t* data, int n) {
    for (int i = 0; i < n; ++i) {
        const uint32_t offset = address + uint32_t(i) - SYSTEM_TABLE_ADDRESS;
        if (offset < uint32_t(SYSTEM_TABLE_SIZE)) {
            uint32_t& word = descriptors[offset / 12][offset % 12 / 4];
            const int shift = int(8 * (offset % 4));
            word = (word & ~(0xFFu << shift)) | uint32_t(data[i]) << shift;
        } else {
            ++bytes_written;
        }
    }
}
