#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The device's end of the test network: a raw packet socket on one interface
// (dv0 in the test namespace) that sends any frame and receives frames of one
// EtherType. Needs raw capture rights, which the namespace's root has.
class DevicePort {
public:
    using Frame = std::vector<uint8_t>;

    explicit DevicePort(const std::string& interface_name, uint16_t ethertype = 0x886C);
    ~DevicePort();
    DevicePort(const DevicePort&) = delete;
    DevicePort& operator=(const DevicePort&) = delete;

    bool usable() const { return socket_ >= 0; }
    bool send(const Frame& frame);
    // The next frame arriving on the interface with the EtherType, or an empty
    // frame when none arrives within `timeout_ms`.
    Frame receive(int timeout_ms);

private:
    int socket_ = -1;
    int index_ = 0;
};

// MAC address of a kernel interface; all zero when it cannot be read.
std::vector<uint8_t> interface_mac(const std::string& interface_name);

// An Ethernet II frame: destination, source, EtherType, then `payload`
// padded with zeros to `length` bytes.
std::vector<uint8_t> make_frame(const std::vector<uint8_t>& destination, const std::vector<uint8_t>& source,
                                uint16_t ethertype, const std::vector<uint8_t>& payload, size_t length);
