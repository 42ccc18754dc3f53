#pragma once

#include <pcap/pcap.h>

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

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
    // Cursor to the first entry; its description (the device name when the
    // library has no description, as is usual on Linux).
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
    // Takes one frame that has already arrived, without waiting (one
    // non-blocking check when none has); 269 when none waits. *bytes stays
    // valid until the next capture call.
    virtual ZdkStatus take_waiting_frame(const uint8_t** bytes, int* length);

    // The PC interface's MAC address, set by start-up once the filter is installed.
    uint8_t local_mac[6] = {0, 0, 0, 0, 0, 0};

    // libpcap's own words for the last failed open or filter ("" when none),
    // and whether that failure was missing capture rights.
    const char* capture_error() const { return capture_error_; }
    bool capture_denied() const { return capture_denied_; }

protected:
    // The loop run by the receive thread: dispatches one frame at a time until stopped.
    void dispatch_loop();
    // Drops the interface list and the cursor with it.
    void release_interfaces();
    // Waits for the receive thread to finish, at most timeout_ms (-1: no limit).
    ZdkStatus wait_for_loop_end(int timeout_ms);
    bool has_cursor() const { return cursor_ < entries_.size(); }
    // Closes the capture handle and its wait descriptor.
    void close_capture();
    // Sets up capture_wait_ and wait_timer_ for the open handle (none on failure).
    void prepare_capture_wait();
    // Waits at most 1 ms for the capture descriptor to become readable.
    bool wait_for_capture();
    // Without waiting: whether a captured frame is ready to be read.
    bool capture_waiting();
    // Keeps the reason why device `name` could not be opened or filtered.
    void note_capture_error(const char* name, const char* text, bool denied);

    // The library's list as read, kept whole for release; entries_ are the
    // devices of it that can reach a device (no pseudo-devices, no loopback).
    pcap_if_t* interface_list_ = nullptr;
    std::vector<pcap_if_t*> entries_;
    size_t cursor_ = SIZE_MAX;  // index into entries_; SIZE_MAX = none
    int32_t open_flag_ = 0;
    pcap_t* capture_ = nullptr;
    // Waiting for the capture descriptor: an epoll set holding it and a
    // deadline timer, both made once per open handle. The timer is re-armed
    // only once its deadline has passed, so a receive that finds its frame
    // in time costs one system call and no timer programming.
    int capture_wait_ = -1;
    int wait_timer_ = -1;
    int64_t wait_deadline_ns_ = 0;
    uint32_t netmask_ = 0;  // network-order octets read as one number
    std::thread receive_thread_;
    pcap_handler callback_ = nullptr;
    u_char* callback_user_ = nullptr;
    // 1 while no loop runs; the loop stops once it is non-zero again.
    std::atomic<int32_t> stop_flag_{1};
    char capture_error_[PCAP_ERRBUF_SIZE + 64] = "";
    bool capture_denied_ = false;
    std::mutex loop_mutex_;
    std::condition_variable loop_ended_;
    bool loop_running_ = false;
};
