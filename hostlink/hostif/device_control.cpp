#include <cstdio>
#include <cstring>

#include "host_interface.h"
#include "link/ethernet_link.h"
#include "pause.h"
#include "request.h"
#include "settings/settings.h"
#include "stop/stop_request.h"

namespace {

constexpr uint32_t RESET_COMMAND = 6;
constexpr int RESET_SETTLE_MS = 30;
constexpr int QUERY_RETRIES = 10;
constexpr int QUERY_CAPACITY = 128;
constexpr int QUERY_FRAME_SIZE = 32;
constexpr int FILTER_TEXT_SIZE = 160;

void report_reset(const char* text) {
    if (debug_level >= 1) std::printf("%s", text);
}

bool from_this_pc(const uint8_t* frame) { return std::memcmp(frame + 6, pc_mac, 6) == 0; }

// Sends the broadcast query and listens with two counted receives; the PC's
// own frames are passed over. The answer's length (its source in mac), or 0.
int ask_for_device_mac(EthernetLink& link, uint8_t mac[6]) {
    if (stop_requested()) return 0;
    uint8_t frame[QUERY_FRAME_SIZE];
    std::memset(frame, 0xFF, 6);
    std::memcpy(frame + 6, pc_mac, 6);
    frame[12] = 0x88;
    frame[13] = 0x6C;
    frame[14] = 0x03;
    frame[15] = 0x00;
    std::memcpy(frame + 16, header_template + 16, QUERY_FRAME_SIZE - 16);
    ZdkStatus status = link.send_frame(frame, QUERY_FRAME_SIZE);
    if (status != ZDK_SUCCESS) {
        std::printf("ERROR: error in sendto, errno=%d\n", status);
        return 0;
    }
    uint8_t answer[QUERY_CAPACITY];
    for (int call = 0; call < 2; ++call) {
        int length = receive_message(link, answer, QUERY_CAPACITY, QUERY_RETRIES);
        if (length == 0 || from_this_pc(answer)) continue;
        std::memcpy(mac, answer + 6, 6);
        return length;
    }
    return 0;
}

}  // namespace

int boot_state(EthernetLink& link) {
    uint32_t mode = 0;
    if (read_word(link, BOOT_MODE_ADDRESS, &mode) != 0) return 0;
    return mode < 3 ? 2 : 1;
}

int reset_device(EthernetLink& link, int mode) {
    if (mode == 0 && boot_state(link) == 2) return 1;
    if (write_word(link, RESET_CLEAR_ADDRESS_1, 0) != 0) {
        report_reset("Failed to reset EVM (1)\n");
        return 0;
    }
    if (write_word(link, RESET_CLEAR_ADDRESS_2, 0) != 0) {
        report_reset("Failed to reset EVM (2)\n");
        return 0;
    }
    uint32_t boot_mode;
    switch (mode) {
    case 0: boot_mode = 4; break;
    case 1: boot_mode = 3; break;
    case 2: boot_mode = 1; break;
    default: return 0;
    }
    if (write_word(link, BOOT_MODE_ADDRESS, boot_mode) != 0) {
        report_reset("Failed to reset EVM (3)\n");
        return 0;
    }
    // The device resets before it could answer, so the request is sent once.
    prepare_request(OPCODE_WRITE_MEMORY, RESET_CONTROL_ADDRESS, 4);
    put_le32(message_buffer + MESSAGE_DATA_OFFSET, RESET_COMMAND);
    send_request(link, HEADER_SIZE + 4);
    pause_ms(RESET_SETTLE_MS);
    uint32_t value = 0;
    int result = wait_for_device(link, 0, 4, 120, &value, 5);
    if (result > 0) return 1;
    if (result == 0) {
        report_reset("Failed to reset EVM (4)\n");
        return 0;
    }
    report_reset("Reset EVM aborted\n");
    return 1;
}

int query_status(EthernetLink& link, uint32_t* link_status, uint32_t* network_mode) {
    if (read_word(link, LINK_STATUS_ADDRESS, link_status) != 0) {
        std::printf("ERROR - failed to query link status\n");
        return 0;
    }
    if (read_word(link, NETWORK_MODE_ADDRESS, network_mode) != 0) {
        std::printf("ERROR - failed to query network mode\n");
        return 0;
    }
    return 1;
}

int query_device_mac(EthernetLink& link, uint8_t mac[6]) {
    std::memset(mac, 0, 6);
    char filter[FILTER_TEXT_SIZE];
    std::snprintf(filter, sizeof filter,
                  "ether dst %02x:%02x:%02x:%02x:%02x:%02x and ether proto 0x%x", 0xff, 0xff,
                  0xff, 0xff, 0xff, 0xff, 0x886c);
    int result = 0;
    if (link.set_filter(filter) != ZDK_SUCCESS)
        std::printf("\nERROR - failed to set MAC filters\n");
    else
        result = ask_for_device_mac(link, mac);
    // Whatever happened above, only the device's frames may pass afterwards.
    format_device_filter(filter, sizeof filter);
    if (link.set_filter(filter) != ZDK_SUCCESS) {
        std::printf("\nERROR - failed to re-set MAC filters\n");
        return 0;
    }
    return result;
}
