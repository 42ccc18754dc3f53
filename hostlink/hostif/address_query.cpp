#include <algorithm>
#include <cstdio>
#include <cstring>

#include "host_interface.h"
#include "link/ethernet_link.h"
#include "pause.h"
#include "settings/settings.h"
#include "stop/stop_request.h"

namespace {

constexpr int QUERY_RETRIES = 10;
constexpr int QUERY_CAPACITY = 128;
constexpr int QUERY_FRAME_SIZE = 32;
constexpr int FILTER_TEXT_SIZE = 160;

bool from_this_pc(const uint8_t* frame) { return std::memcmp(frame + 6, pc_mac, 6) == 0; }

// Broadcast and multicast addresses have the group bit set; no device
// answers from one.
bool from_a_group(const uint8_t* frame) { return (frame[6] & 0x01) != 0; }

// The answers to the query are broadcast frames, so the device filter would
// keep them out. False after its message.
bool install_query_filter(EthernetLink& link) {
    char filter[FILTER_TEXT_SIZE];
    std::snprintf(filter, sizeof filter,
                  "ether dst %02x:%02x:%02x:%02x:%02x:%02x and ether proto 0x%x", 0xff, 0xff,
                  0xff, 0xff, 0xff, 0xff, 0x886c);
    if (link.set_filter(filter) == ZDK_SUCCESS) return true;
    std::printf("\nERROR - failed to set MAC filters\n");
    return false;
}

// Whatever happened during the query, only the device's frames may pass
// afterwards. False after its message.
bool restore_device_filter(EthernetLink& link) {
    char filter[FILTER_TEXT_SIZE];
    format_device_filter(filter, sizeof filter);
    if (link.set_filter(filter) == ZDK_SUCCESS) return true;
    std::printf("\nERROR - failed to re-set MAC filters\n");
    return false;
}

// The bare broadcast query: 32 bytes, sent without the 64-byte minimum of
// the other requests. False after its message; quietly false once a stop is
// asked for (nothing more is sent then).
bool send_address_query(EthernetLink& link) {
    if (stop_requested()) return false;
    uint8_t frame[QUERY_FRAME_SIZE];
    std::memset(frame, 0xFF, 6);
    std::memcpy(frame + 6, pc_mac, 6);
    frame[12] = 0x88;
    frame[13] = 0x6C;
    frame[14] = 0x03;
    frame[15] = 0x00;
    std::memcpy(frame + 16, header_template + 16, QUERY_FRAME_SIZE - 16);
    ZdkStatus status = link.send_frame(frame, QUERY_FRAME_SIZE);
    if (status == ZDK_SUCCESS) return true;
    std::printf("ERROR: error in sendto, errno=%d\n", status);
    return false;
}

// Sends the query and listens with two counted receives; the PC's own
// frames are passed over. The answer's length (its source in mac), or 0.
int ask_for_device_mac(EthernetLink& link, uint8_t mac[6]) {
    if (!send_address_query(link)) return 0;
    uint8_t answer[QUERY_CAPACITY];
    for (int call = 0; call < 2; ++call) {
        int length = receive_message(link, answer, QUERY_CAPACITY, QUERY_RETRIES);
        if (length == 0 || from_this_pc(answer)) continue;
        std::memcpy(mac, answer + 6, 6);
        return length;
    }
    return 0;
}

// Every answer until the deadline (or a stop), each device once in the order
// first heard. At least one capture call, so that answers that came while
// the loader was kept from running are still taken.
void collect_answers(EthernetLink& link, int64_t deadline_us, DeviceSearch& search) {
    do {
        const uint8_t* bytes = nullptr;
        int length = 0;
        if (link.receive_frame(&bytes, &length) != ZDK_SUCCESS || length < 12) continue;
        if (from_this_pc(bytes) || from_a_group(bytes)) continue;
        FoundMac mac;
        std::copy(bytes + 6, bytes + 12, mac.begin());
        if (std::find(search.devices.begin(), search.devices.end(), mac) != search.devices.end()) continue;
        if (search.devices.size() < MAX_FOUND_DEVICES)
            search.devices.push_back(mac);
        else
            search.overflow = true;
    } while (clock_us() < deadline_us && !stop_requested());
}

}  // namespace

int query_device_mac(EthernetLink& link, uint8_t mac[6]) {
    std::memset(mac, 0, 6);
    int result = install_query_filter(link) ? ask_for_device_mac(link, mac) : 0;
    if (!restore_device_filter(link)) return 0;
    return result;
}

DeviceSearch find_devices(EthernetLink& link, int window_ms) {
    DeviceSearch search;
    if (install_query_filter(link) && send_address_query(link)) {
        search.sent = true;
        collect_answers(link, clock_us() + int64_t{window_ms} * 1000, search);
    }
    search.filter_restored = restore_device_filter(link);
    return search;
}
