#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <netpacket/packet.h>

#include <cstdio>
#include <cstring>

#include "interface_selection.h"

// The kernel names the interface that holds the address; the packet-family
// entry of the same name carries its hardware address.
int lookup_interface_mac(const uint8_t address[4], uint8_t mac[6]) {
    ifaddrs* all = nullptr;
    if (getifaddrs(&all) != 0) return 0;
    const char* name = nullptr;
    for (const ifaddrs* entry = all; entry != nullptr && name == nullptr; entry = entry->ifa_next) {
        if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET) continue;
        const auto* in = reinterpret_cast<const sockaddr_in*>(entry->ifa_addr);
        if (std::memcmp(&in->sin_addr, address, 4) == 0) name = entry->ifa_name;
    }
    int found = 0;
    if (name != nullptr) {
        for (const ifaddrs* entry = all; entry != nullptr; entry = entry->ifa_next) {
            if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_PACKET) continue;
            if (std::strcmp(entry->ifa_name, name) != 0) continue;
            const auto* hardware = reinterpret_cast<const sockaddr_ll*>(entry->ifa_addr);
            if (hardware->sll_halen < 6) continue;
            std::memcpy(mac, hardware->sll_addr, 6);
            found = 1;
            break;
        }
        if (!found) {
            std::printf("ERROR: Failed to find Network Interface with index %d", static_cast<int>(if_nametoindex(name)));
        }
    }
    freeifaddrs(all);
    return found;
}
