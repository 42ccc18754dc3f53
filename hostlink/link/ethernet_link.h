#pragma once

#include <pcap/pcap.h>

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include "zdk_status.h"

// The process's one raw Ethernet link: the capture library's interface list
// with a cursor, the live capture handle and its filter. Every operation is
// virtual so tests can put a scripted link in its place.
class EthernetLink {
public:
    EthernetLink() = default;
    EthernetLink(const EthernetLink&) = delete;
    EthernetLink& operator=(const EthernetLink&) = delete;

    // Releases the interface list if it is still held (and anything open).
    virtual ~EthernetLink();
    // Reads the interface list; cursor at the first entry.
    virtual ZdkStatus initialize();
    // Stops the receive loop, closes the handle and drops the list; no-op unless open.
    virtual void close();
    // Cursor to the first entry; its description (nullptr when it has none).
    virtual ZdkStatus first_interface(const char** description);
    // The part of the entry's name from its first '{' on.
    virtual ZdkStatus interface_guid(const char** guid);
    // First IPv4 address of the entry, four octets in network order.
    virtual ZdkStatus interface_address(uint8_t address[4]);
    // Advances the cursor; its description.
    virtual ZdkStatus next_interface(const char** description);
    // Opens the cursor's entry for capture and sending.
    virtual ZdkStatus open_selected();
    // 1 while a capture handle is open and usable.
    virtual int is_open();
    virtual ZdkStatus send_frame(const uint8_t* bytes, int length);
    // Waits at most 1 ms for one frame; *bytes stays valid until the next capture call.
    virtual ZdkStatus receive_frame(const uint8_t** bytes, int* length);
    virtual ZdkStatus unsupported_with_arguments(void* first, void* second);
    virtual ZdkStatus start_receive_thread(pcap_handler callback, u_char* user);
    // Time-out in milliseconds, -1 to wait without limit.
    virtual ZdkStatus stop_receive_thread(int timeout_ms);
    virtual ZdkStatus set_filter(const char* filter_text);
    virtual ZdkStatus dump_to_file(const char* path);
    virtual ZdkStatus unsupported_without_arguments();
    virtual ZdkStatus replay_file(const char* path);

    // The PC interface's MAC address, set by start-up once the filter is installed.
    uint8_t local_mac[6] = {0, 0, 0, 0, 0, 0};

protected:
    void dispatch_loop();

    pcap_if_t* interface_list_ = nullptr;
    pcap_if_t* cursor_ = nullptr;
    int32_t open_flag_ = 0;
    pcap_t* capture_ = nullptr;
    uint32_t netmask_ = 0;
    std::thread receive_thread_;
    pcap_handler callback_ = nullptr;
    u_char* callback_user_ = nullptr;
    // 1 while no loop runs; the loop sets it to 0 and stops once it is non-zero again.
    volatile int32_t stop_flag_ = 1;
    std::mutex loop_mutex_;
    std::condition_variable loop_ended_;
    bool loop_running_ = false;
};
