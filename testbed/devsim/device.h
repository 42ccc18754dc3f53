#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <vector>

#include "fault_random.h"
#include "options.h"
#include "scheduler.h"
#include "sparse_memory.h"

// Where the device's frames go out (the packet socket, or a recorder in
// tests).
class Wire {
public:
    virtual ~Wire() = default;
    virtual void transmit(const uint8_t* bytes, size_t length) = 0;
};

struct DeviceCounters {
    uint64_t received = 0;   // every frame handed to the device
    uint64_t answered = 0;   // frames sent back
    uint64_t malformed = 0;  // frames meant for the device that could not be understood
    uint64_t dropped = 0;    // requests lost on purpose (--silent, --drop-*)
    uint64_t busy = 0;       // requests that arrived while the device answered nothing
    uint64_t echoed = 0;     // foreign frames sent back with the addresses swapped
};

// Device memory addresses the host interface itself serves.
namespace device_address {
constexpr uint32_t reset_control = 0x00E00000;
constexpr uint32_t boot_mode = 0x00E00018;
constexpr uint32_t fw_version = 0x827E;
constexpr uint32_t link_status = 0x80005000;
constexpr uint32_t net_mode = 0x80005004;
constexpr uint32_t reset_value = 6;
}  // namespace device_address

// The emulated device: its memory, its host interface and its busy windows.
// Further functions (programming mailbox, boot, test stations) attach
// through the hooks below rather than by changing the request handlers.
class Device {
public:
    Device(const DevsimOptions& options, Wire& wire);

    // One frame from the wire at time now_us (monotonic microseconds).
    void receive(const uint8_t* frame, size_t length, int64_t now_us);
    // Runs the timed actions due by now_us.
    void advance(int64_t now_us);
    int64_t next_event_us() const { return scheduler.next_due(); }
    int64_t now_us() const { return now_us_; }

    // Sends a frame (padded to the Ethernet minimum) after --delay-ms and
    // `extra_us` more.
    void send(std::vector<uint8_t> frame, int64_t extra_us = 0);
    // A frame nobody asked for, sent at once (padded) and not counted as an
    // answer.
    void send_unsolicited(std::vector<uint8_t> frame);
    // The address that last sent the device a host-interface request (empty
    // until one has).
    const std::optional<MacAddress>& peer() const { return peer_; }

    // A busy window during which host-interface requests get no answer at
    // all (run code, ACTIVATE, reset). `done` runs when it ends.
    void busy_ignoring(int ms, std::function<void()> done = {});
    // A busy window during which requests wait and are served, in order,
    // once it ends (flash work: a slow device answers late, not never).
    void busy_holding(int ms, std::function<void()> done = {});
    bool busy() const { return now_us_ < busy_until_us_; }

    // Hooks.
    using WriteWatcher = std::function<void(uint32_t address, size_t count)>;
    // Called after host-interface memory writes land.
    void watch_writes(WriteWatcher watcher) { write_watchers_.push_back(std::move(watcher)); }
    // Called when a reset's busy window ends (boot).
    void after_reset(std::function<void()> hook) { reset_hooks_.push_back(std::move(hook)); }
    // Serves a sub-protocol other than the host interface (after 0x80).
    using FrameHandler = std::function<void(const uint8_t* frame, size_t length)>;
    void serve_sub_protocol(uint8_t sub_protocol, FrameHandler handler) {
        sub_protocols_[sub_protocol] = std::move(handler);
    }
    // Further station addresses on the same wire (sub-protocol frames only).
    void add_station(const MacAddress& mac) { stations_.push_back(mac); }

    const DevsimOptions& options;
    SparseMemory memory;
    AfeRegisters afe;
    DeviceCounters counters;
    Scheduler scheduler;

private:
    enum class Kind { host_interface, address_query, foreign };

    bool is_station(const uint8_t* mac) const;
    bool host_interface_malformed(const uint8_t* frame, size_t length) const;
    void gate(Kind kind, const uint8_t* frame, size_t length);
    void start_busy(int ms, bool hold, std::function<void()> done);
    void replay_held();
    void act(Kind kind, const uint8_t* frame, size_t length);
    bool lost_on_purpose();

    // Host-interface requests (host_interface.cpp).
    void serve_host_interface(const uint8_t* frame, size_t length);
    void reply(const uint8_t* request, const uint8_t* data, size_t count, size_t carried, int64_t late_us);
    void reply_to_write(const uint8_t* request, const uint8_t* data, size_t count, int64_t late_us);
    // Reply faults of the host interface: --jitter-ms, --dup-prob/--dup-lag.
    void send_host_reply(std::vector<uint8_t> frame, int64_t late_us);
    // --late-first-ms for this request: none when it repeats the one before.
    int64_t late_first_us(const uint8_t* frame, size_t length);
    void answer_address_query(const uint8_t* frame, size_t length);
    void echo(const uint8_t* frame, size_t length);
    void reset();

    Wire& wire_;
    FaultRandom drop_random_;
    FaultRandom reply_random_;
    std::vector<uint8_t> last_request_;
    std::optional<MacAddress> peer_;
    long drop_first_left_;
    int64_t now_us_ = 0;
    int64_t busy_until_us_ = 0;
    bool busy_holds_ = false;
    std::deque<std::pair<Kind, std::vector<uint8_t>>> held_;
    std::vector<WriteWatcher> write_watchers_;
    std::vector<std::function<void()>> reset_hooks_;
    std::map<uint8_t, FrameHandler> sub_protocols_;
    std::vector<MacAddress> stations_;
};
