#include "interface_selection.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "capture_diagnosis.h"
#include "link/ethernet_link.h"
#include "console/console.h"
#include "settings/settings.h"
#include "stop/stop_request.h"

namespace {

constexpr int CHOICE_LENGTH = 3;

// The address as the tools print it: network-order octets read as one
// little-endian number (10.0.0.5 is 500000a).
uint32_t address_value(const uint8_t address[4]) {
    return static_cast<uint32_t>(address[0]) | static_cast<uint32_t>(address[1]) << 8 |
           static_cast<uint32_t>(address[2]) << 16 | static_cast<uint32_t>(address[3]) << 24;
}

// Moves the cursor to entry `number`, counting from 0; its description.
ZdkStatus move_to_entry(EthernetLink& link, int number, const char** description) {
    ZdkStatus status = link.first_interface(description);
    for (int i = 0; i < number && status == ZDK_SUCCESS; ++i) status = link.next_interface(description);
    return status;
}

const char* printable(const char* description) { return description != nullptr ? description : "(unnamed)"; }

// Reads the typed interface number; -1 when the input has ended.
int read_choice() {
    char line[CHOICE_LENGTH + 1] = "";
    if (!console_read_line(line, sizeof line)) return -1;
    return std::atoi(line);
}

}  // namespace

bool select_interface_by_address(EthernetLink& link, const uint8_t address[4]) {
    return select_interface_by_address(link, address, lookup_interface_mac);
}

bool select_interface_by_address(EthernetLink& link, const uint8_t address[4], const MacLookup& lookup) {
    if (link.first_interface(nullptr) != ZDK_SUCCESS) {
        std::printf("ERROR: No Network Interfaces found!\n");
        return false;
    }
    for (;;) {
        uint8_t entry_address[4];
        if (link.interface_address(entry_address) == ZDK_SUCCESS &&
            std::memcmp(entry_address, address, 4) == 0 && lookup(entry_address, pc_mac) == 1) {
            break;
        }
        if (link.next_interface(nullptr) != ZDK_SUCCESS) return false;
    }
    link.open_selected();
    return true;
}

int select_interface_from_menu(EthernetLink& link, int preset) {
    return select_interface_from_menu(link, preset, lookup_interface_mac);
}

int select_interface_from_menu(EthernetLink& link, int preset, const MacLookup& lookup) {
    const char* description = nullptr;
    ZdkStatus status = link.first_interface(&description);
    if (status != ZDK_SUCCESS) {
        std::printf("ERROR: No Network Interfaces found!(0x%x)\n", static_cast<unsigned>(status));
        return -6;
    }
    std::printf("Please select Network Interface to connect:\n");
    int count = 0;
    do {
        uint8_t address[4];
        status = link.interface_address(address);
        if (status == ZDK_SUCCESS) {
            std::printf("%d) %u.%u.%u.%u\n", count, address[0], address[1], address[2], address[3]);
        } else {
            std::printf("%d) Ip Address Not Available (0x%x) (NAME: %s)\n", count,
                        static_cast<unsigned>(status), printable(description));
        }
        ++count;
    } while (link.next_interface(&description) == ZDK_SUCCESS);

    const int highest = count - 1;
    int chosen = 0;
    if (preset >= 0 && preset < count) {
        chosen = preset;
    } else {
        if (preset >= 0) {
            std::printf("\nERROR interface selected - %d - out of range\nPlease select from menu\n\n", preset);
        }
        if (count > 1) {
            std::printf("Select interface:(0-%d)\n", highest);
            std::fflush(stdout);
            chosen = read_choice();
            if (chosen < 0 || chosen > highest) {
                // A stop while the number was awaited is no invalid number.
                if (!stop_requested()) std::printf("ERROR: Invalid NIC number, aborting\n");
                return -8;
            }
        }
    }

    move_to_entry(link, chosen, &description);
    status = link.open_selected();
    if (status != ZDK_SUCCESS) {
        std::printf("\nERROR - failed to set selected Network Interface (0x%x)\n", static_cast<unsigned>(status));
        report_capture_failure(link);
        return -9;
    }
    uint8_t address[4];
    status = link.interface_address(address);
    if (status != ZDK_SUCCESS) {
        std::printf("\nERROR - failed to get selected Interface Ip Address (0x%x)\n", static_cast<unsigned>(status));
        return -10;
    }
    std::printf("Getting MAC address for 0x%x\n", address_value(address));
    if (lookup(address, pc_mac) != 1) {
        std::printf("ERROR: failed to get mac address for %u.%u.%u.%u \nNIC Name: %s\n", address[0], address[1],
                    address[2], address[3], printable(description));
        return -11;
    }
    return 0;
}
