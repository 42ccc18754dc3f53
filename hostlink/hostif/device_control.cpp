#include <cstdio>

#include "host_interface.h"
#include "link/ethernet_link.h"
#include "pause.h"
#include "request.h"
#include "settings/settings.h"

namespace {

constexpr uint32_t RESET_COMMAND = 6;
constexpr int RESET_SETTLE_MS = 30;

void report_reset(const char* text) {
    if (debug_level >= 1) std::printf("%s", text);
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
