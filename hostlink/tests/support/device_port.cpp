#include "device_port.h"

#include <arpa/inet.h>
#include <net/if.h>
#include <netpacket/packet.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>

DevicePort::DevicePort(const std::string& interface_name, uint16_t ethertype) {
    index_ = static_cast<int>(if_nametoindex(interface_name.c_str()));
    if (index_ == 0) return;
    socket_ = socket(AF_PACKET, SOCK_RAW, htons(ethertype));
    if (socket_ < 0) return;
    sockaddr_ll address{};
    address.sll_family = AF_PACKET;
    address.sll_protocol = htons(ethertype);
    address.sll_ifindex = index_;
    if (bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(socket_);
        socket_ = -1;
    }
}

DevicePort::~DevicePort() {
    if (socket_ >= 0) close(socket_);
}

bool DevicePort::send(const Frame& frame) {
    if (socket_ < 0) return false;
    sockaddr_ll address{};
    address.sll_family = AF_PACKET;
    address.sll_ifindex = index_;
    address.sll_halen = 6;
    std::memcpy(address.sll_addr, frame.data(), 6);
    return sendto(socket_, frame.data(), frame.size(), 0, reinterpret_cast<sockaddr*>(&address), sizeof address) ==
           static_cast<ssize_t>(frame.size());
}

DevicePort::Frame DevicePort::receive(int timeout_ms) {
    if (socket_ < 0) return {};
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() < 0) return {};
        pollfd fd{socket_, POLLIN, 0};
        if (poll(&fd, 1, static_cast<int>(left.count())) <= 0) return {};
        Frame frame(65536);
        sockaddr_ll from{};
        socklen_t from_length = sizeof from;
        const ssize_t got =
            recvfrom(socket_, frame.data(), frame.size(), 0, reinterpret_cast<sockaddr*>(&from), &from_length);
        if (got < 0) return {};
        if (from.sll_pkttype == PACKET_OUTGOING) continue;
        frame.resize(static_cast<size_t>(got));
        return frame;
    }
}

std::vector<uint8_t> interface_mac(const std::string& interface_name) {
    std::vector<uint8_t> mac(6, 0);
    const int s = socket(AF_INET, SOCK_DGRAM, 0);
    if (s < 0) return mac;
    ifreq request{};
    std::strncpy(request.ifr_name, interface_name.c_str(), IFNAMSIZ - 1);
    if (ioctl(s, SIOCGIFHWADDR, &request) == 0) std::memcpy(mac.data(), request.ifr_hwaddr.sa_data, 6);
    close(s);
    return mac;
}

std::vector<uint8_t> make_frame(const std::vector<uint8_t>& destination, const std::vector<uint8_t>& source,
                                uint16_t ethertype, const std::vector<uint8_t>& payload, size_t length) {
    std::vector<uint8_t> frame(destination.begin(), destination.end());
    frame.insert(frame.end(), source.begin(), source.end());
    frame.push_back(static_cast<uint8_t>(ethertype >> 8));
    frame.push_back(static_cast<uint8_t>(ethertype & 0xFF));
    frame.insert(frame.end(), payload.begin(), payload.end());
    if (frame.size() < length) frame.resize(length, 0);
    return frame;
}
