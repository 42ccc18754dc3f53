#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// A raw AF_PACKET socket on one interface that receives every frame of
// EtherType 0x886C on the wire (promiscuous, since the emulated stations'
// addresses are not the interface's own) and sends whole frames.
class PacketPort {
public:
    PacketPort() = default;
    ~PacketPort();
    PacketPort(const PacketPort&) = delete;
    PacketPort& operator=(const PacketPort&) = delete;

    // Gives false with a message in `error`.
    bool open(const std::string& interface, std::string& error);
    int fd() const { return fd_; }
    // One waiting frame into buffer; 0 when none is waiting, -1 on error.
    // Frames this host sent out on the interface are skipped.
    long receive(uint8_t* buffer, size_t capacity);
    bool send(const uint8_t* bytes, size_t length);

private:
    int fd_ = -1;
    int index_ = 0;
};
