#include "ethernet_link.h"

#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdio>
#include <cstring>

namespace {

constexpr int SNAPSHOT_LENGTH = 65536;
constexpr int READ_TIMEOUT_MS = 1;
constexpr int LINKTYPE_ETHERNET = 1;
// 255.255.255.0 as its network-order octets read as one number.
constexpr uint32_t DEFAULT_NETMASK = 0x00FFFFFF;

// Only kernel network interfaces can reach a device; the library also lists
// pseudo-devices (any, nflog, usbmon, dbus ...) and loopback, which cannot.
bool reaches_devices(const pcap_if_t* device) {
    if (device->name == nullptr || (device->flags & PCAP_IF_LOOPBACK) != 0) return false;
    return if_nametoindex(device->name) != 0;
}

// Descriptions are usually absent on Linux; the device name stands in.
const char* description_of(const pcap_if_t* device) {
    return device->description != nullptr ? device->description : device->name;
}

const pcap_addr_t* first_ipv4(const pcap_if_t* device) {
    for (const pcap_addr_t* a = device->addresses; a != nullptr; a = a->next) {
        if (a->addr != nullptr && a->addr->sa_family == AF_INET) return a;
    }
    return nullptr;
}

}  // namespace

EthernetLink::~EthernetLink() {
    if (receive_thread_.joinable()) {
        stop_flag_ = 1;
        receive_thread_.join();
    }
    close_capture();
    release_interfaces();
}

void EthernetLink::release_interfaces() {
    if (interface_list_ != nullptr) pcap_freealldevs(interface_list_);
    interface_list_ = nullptr;
    entries_.clear();
    cursor_ = SIZE_MAX;
}

ZdkStatus EthernetLink::initialize() {
    open_flag_ = 0;
    release_interfaces();
    char error[PCAP_ERRBUF_SIZE] = "";
    if (pcap_findalldevs(&interface_list_, error) != 0) {
        interface_list_ = nullptr;
        return ZDK_FAILED_QUERY_INTERFACE;
    }
    for (pcap_if_t* device = interface_list_; device != nullptr; device = device->next) {
        if (reaches_devices(device)) entries_.push_back(device);
    }
    cursor_ = entries_.empty() ? SIZE_MAX : 0;
    return ZDK_SUCCESS;
}

void EthernetLink::close() {
    if (open_flag_ != 1) return;
    release_interfaces();
    // Also a loop whose stop timed out: the handle must not close under it.
    if (receive_thread_.joinable()) stop_receive_thread(-1);
    close_capture();
    open_flag_ = 0;
}

ZdkStatus EthernetLink::first_interface(const char** description) {
    if (entries_.empty()) {
        cursor_ = SIZE_MAX;
        return ZDK_FAILED_QUERY_INTERFACE;
    }
    cursor_ = 0;
    if (description != nullptr) *description = description_of(entries_[0]);
    return ZDK_SUCCESS;
}

ZdkStatus EthernetLink::interface_guid(const char** guid) {
    if (!has_cursor()) return ZDK_NO_MORE_INTERFACES;
    const char* brace = std::strchr(entries_[cursor_]->name, '{');
    if (brace == nullptr) return ZDK_FAILED_QUERY_INTERFACE;
    if (guid != nullptr) *guid = brace;
    return ZDK_SUCCESS;
}

ZdkStatus EthernetLink::interface_address(uint8_t address[4]) {
    if (!has_cursor()) return ZDK_NO_MORE_INTERFACES;
    const pcap_addr_t* first = first_ipv4(entries_[cursor_]);
    if (first == nullptr) return ZDK_FAILED_QUERY_INTERFACE;
    const auto* in = reinterpret_cast<const sockaddr_in*>(first->addr);
    std::memcpy(address, &in->sin_addr, 4);
    return ZDK_SUCCESS;
}

ZdkStatus EthernetLink::next_interface(const char** description) {
    if (!has_cursor() || cursor_ + 1 >= entries_.size()) {
        cursor_ = SIZE_MAX;
        return ZDK_NO_MORE_INTERFACES;
    }
    ++cursor_;
    if (description != nullptr) *description = description_of(entries_[cursor_]);
    return ZDK_SUCCESS;
}

ZdkStatus EthernetLink::open_selected() {
    if (!has_cursor()) {
        release_interfaces();
        return ZDK_INTERFACE_FAIL;
    }
    const pcap_if_t* device = entries_[cursor_];
    if (capture_ != nullptr) {
        if (receive_thread_.joinable()) stop_receive_thread(-1);
        close_capture();
        open_flag_ = 0;
    }
    char error[PCAP_ERRBUF_SIZE] = "";
    pcap_t* capture = pcap_create(device->name, error);
    if (capture == nullptr) {
        note_capture_error(device->name, error, false);
        release_interfaces();
        return ZDK_INTERFACE_FAIL;
    }
    // Immediate mode hands each frame over at once (otherwise a round trip
    // costs a whole buffer time-out); non-blocking lets receive_frame bound
    // its own wait, which a blocking read on Linux never does.
    int activated = 0;
    if (pcap_set_snaplen(capture, SNAPSHOT_LENGTH) != 0 || pcap_set_promisc(capture, 1) != 0 ||
        pcap_set_timeout(capture, READ_TIMEOUT_MS) != 0 || pcap_set_immediate_mode(capture, 1) != 0 ||
        (activated = pcap_activate(capture)) < 0 || pcap_setnonblock(capture, 1, error) != 0) {
        // After a failed activation libpcap's text may be empty for the
        // well-known codes; its status text names them then.
        const char* text = activated < 0 ? pcap_geterr(capture) : error;
        if (text == nullptr || *text == 0) text = pcap_statustostr(activated);
        note_capture_error(device->name, text, activated == PCAP_ERROR_PERM_DENIED);
        pcap_close(capture);
        release_interfaces();
        return ZDK_INTERFACE_FAIL;
    }
    if (pcap_datalink(capture) != LINKTYPE_ETHERNET) {
        note_capture_error(device->name, "not an Ethernet device", false);
        pcap_close(capture);
        release_interfaces();
        return ZDK_NOT_ETHERNET;
    }
    const pcap_addr_t* first = first_ipv4(device);
    if (first != nullptr && first->netmask != nullptr && first->netmask->sa_family == AF_INET) {
        netmask_ = reinterpret_cast<const sockaddr_in*>(first->netmask)->sin_addr.s_addr;
    } else {
        netmask_ = DEFAULT_NETMASK;
    }
    capture_ = capture;
    prepare_capture_wait();
    open_flag_ = 1;
    note_capture_error(nullptr, nullptr, false);
    return ZDK_SUCCESS;
}

int EthernetLink::is_open() { return open_flag_; }

ZdkStatus EthernetLink::send_frame(const uint8_t* bytes, int length) {
    if (capture_ == nullptr) return ZDK_NO_CAPTURE_HANDLE;
    if (bytes == nullptr || length <= 0) return ZDK_SEND_PACKET_FAILED;
    return pcap_sendpacket(capture_, bytes, length) == 0 ? ZDK_SUCCESS : ZDK_SEND_PACKET_FAILED;
}

ZdkStatus EthernetLink::receive_frame(const uint8_t** bytes, int* length) {
    if (capture_ == nullptr) return ZDK_NO_CAPTURE_HANDLE;
    // The descriptor is readable as soon as a frame waits in the capture
    // ring, so a waiting frame costs no more than the wait call itself.
    if (!wait_for_capture()) return ZDK_RECEIVE_PACKET_FAILED;
    pcap_pkthdr* header = nullptr;
    const u_char* data = nullptr;
    const int result = pcap_next_ex(capture_, &header, &data);
    if (result != 1) return ZDK_RECEIVE_PACKET_FAILED;
    *bytes = data;
    *length = static_cast<int>(header->caplen);
    return ZDK_SUCCESS;
}

ZdkStatus EthernetLink::take_waiting_frame(const uint8_t** bytes, int* length) {
    if (capture_ == nullptr) return ZDK_NO_CAPTURE_HANDLE;
    if (!capture_waiting()) return ZDK_RECEIVE_PACKET_FAILED;
    pcap_pkthdr* header = nullptr;
    const u_char* data = nullptr;
    if (pcap_next_ex(capture_, &header, &data) != 1) return ZDK_RECEIVE_PACKET_FAILED;
    *bytes = data;
    *length = static_cast<int>(header->caplen);
    return ZDK_SUCCESS;
}

ZdkStatus EthernetLink::unsupported_with_arguments(void*, void*) { return ZDK_UNSUPPORTED_ROUTINE; }

ZdkStatus EthernetLink::unsupported_without_arguments() { return ZDK_UNSUPPORTED_ROUTINE; }

ZdkStatus EthernetLink::set_filter(const char* filter_text) {
    if (capture_ == nullptr) return ZDK_NO_CAPTURE_HANDLE;
    bpf_program program{};
    if (filter_text == nullptr || pcap_compile(capture_, &program, filter_text, 0, netmask_) != 0) {
        note_capture_error("filter", filter_text != nullptr ? pcap_geterr(capture_) : "no filter text", false);
        return ZDK_UNSUCCESSFUL;
    }
    const int installed = pcap_setfilter(capture_, &program);
    pcap_freecode(&program);
    if (installed != 0) note_capture_error("filter", pcap_geterr(capture_), false);
    return installed == 0 ? ZDK_SUCCESS : ZDK_UNSUCCESSFUL;
}

void EthernetLink::note_capture_error(const char* name, const char* text, bool denied) {
    capture_denied_ = denied;
    if (text == nullptr) {
        capture_error_[0] = 0;
        return;
    }
    std::snprintf(capture_error_, sizeof capture_error_, "%s: %s", name, text);
}
