#include <cstdio>
#include <cstring>

#include "host_interface.h"
#include "link/ethernet_link.h"
#include "request.h"
#include "settings/settings.h"
#include "stop/stop_request.h"

namespace {

constexpr uint8_t INITIAL_TEMPLATE[HEADER_SIZE] = {
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0x80, 0x01,                     // host-interface sub-protocol
    0x00, 0x00,                     // length
    0x00, 0x0A, 0x3F, 0x71, 0x0A,   // carried from the device's replies
    0x00,                           // opcode
    0x00, 0x00, 0x00, 0x00,         // carried from the device's replies
    0x00, 0x00, 0x00, 0x00,         // address
};

constexpr uint16_t ETHERTYPE = 0x886C;

}  // namespace

uint8_t message_buffer[MESSAGE_BUFFER_SIZE];
uint8_t header_template[HEADER_SIZE];

void reset_header_template() { std::memcpy(header_template, INITIAL_TEMPLATE, HEADER_SIZE); }

namespace {
// The template holds its initial bytes before the first request of the process.
const bool template_initialised = (reset_header_template(), true);
}  // namespace

uint32_t get_le32(const uint8_t* bytes) {
    return uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 |
           uint32_t(bytes[3]) << 24;
}

void put_le32(uint8_t* bytes, uint32_t value) {
    bytes[0] = uint8_t(value);
    bytes[1] = uint8_t(value >> 8);
    bytes[2] = uint8_t(value >> 16);
    bytes[3] = uint8_t(value >> 24);
}

void format_device_filter(char* text, int size) {
    std::snprintf(text, size,
                  "ether dst %02x:%02x:%02x:%02x:%02x:%02x and ether src "
                  "%02x:%02x:%02x:%02x:%02x:%02x and ether proto 0x%x",
                  pc_mac[0], pc_mac[1], pc_mac[2], pc_mac[3], pc_mac[4], pc_mac[5],
                  device_mac[0], device_mac[1], device_mac[2], device_mac[3], device_mac[4],
                  device_mac[5], ETHERTYPE);
}

void prepare_request_keeping_address(uint8_t opcode, int n) {
    int length = 12 + n;
    header_template[16] = uint8_t(length);
    header_template[17] = uint8_t(length >> 8);
    header_template[23] = opcode;
    std::memcpy(message_buffer, header_template, HEADER_SIZE);
}

void prepare_request(uint8_t opcode, uint32_t address, int n) {
    put_le32(header_template + 28, address);
    prepare_request_keeping_address(opcode, n);
}

int take_reply(int captured, int limit) {
    if (captured <= HEADER_SIZE) return -1;
    std::memcpy(header_template, message_buffer, HEADER_SIZE);
    int count = (message_buffer[16] | message_buffer[17] << 8) - 12;
    if (count < 0) return 0;
    return count < limit ? count : limit;
}

// Once a stop is asked for, nothing more goes to the device: the send fails
// quietly and the operation that wanted it unwinds.
int send_message(EthernetLink& link, uint8_t* frame, int length) {
    if (stop_requested()) return 0;
    int n = length < 64 ? 64 : length;
    std::memcpy(frame, device_mac, 6);
    std::memcpy(frame + 6, pc_mac, 6);
    frame[12] = uint8_t(ETHERTYPE >> 8);
    frame[13] = uint8_t(ETHERTYPE);
    ZdkStatus status = link.send_frame(frame, n);
    if (status != ZDK_SUCCESS) {
        std::printf("error in sendto, errno=%d\n", status);
        return 0;
    }
    return n;
}

int capture_frame(EthernetLink& link, int capacity, const uint8_t** bytes) {
    int length = 0;
    if (link.receive_frame(bytes, &length) != ZDK_SUCCESS) return 0;
    if (length < HEADER_SIZE) {
        std::printf("ERROR: Packet length is too sort %d\n", length);
        return -1;
    }
    if (length > capacity) {
        std::printf("ERROR: Buffer is too short pkt %d recv %d\n", capacity, length);
        return -1;
    }
    return length;
}

int receive_message(EthernetLink& link, uint8_t* buffer, int capacity, int retries) {
    const uint8_t* bytes = nullptr;
    for (int call = 0; call <= retries && !stop_requested(); ++call) {
        const int length = capture_frame(link, capacity, &bytes);
        if (length < 0) return 0;
        if (length == 0) continue;
        std::memcpy(buffer, bytes, length);
        return length;
    }
    return 0;
}
