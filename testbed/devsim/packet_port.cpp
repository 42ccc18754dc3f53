#include "packet_port.h"

#include <arpa/inet.h>
#include <linux/if_packet.h>
#include <net/ethernet.h>
#include <net/if.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "frame_layout.h"

PacketPort::~PacketPort() {
    if (fd_ >= 0) ::close(fd_);
}

bool PacketPort::open(const std::string& interface, std::string& error) {
    index_ = static_cast<int>(if_nametoindex(interface.c_str()));
    if (index_ == 0) {
        error = "no interface " + interface;
        return false;
    }
    fd_ = socket(AF_PACKET, SOCK_RAW | SOCK_NONBLOCK | SOCK_CLOEXEC, htons(frame::ether_type_value));
    if (fd_ < 0) {
        error = std::string("cannot open a packet socket: ") + std::strerror(errno);
        return false;
    }
    sockaddr_ll address{};
    address.sll_family = AF_PACKET;
    address.sll_protocol = htons(frame::ether_type_value);
    address.sll_ifindex = index_;
    if (bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        error = "cannot bind to " + interface + ": " + std::strerror(errno);
        return false;
    }
    packet_mreq membership{};
    membership.mr_ifindex = index_;
    membership.mr_type = PACKET_MR_PROMISC;
    if (setsockopt(fd_, SOL_PACKET, PACKET_ADD_MEMBERSHIP, &membership, sizeof membership) != 0) {
        error = "cannot make " + interface + " promiscuous: " + std::strerror(errno);
        return false;
    }
#ifdef PACKET_IGNORE_OUTGOING
    int one = 1;
    setsockopt(fd_, SOL_PACKET, PACKET_IGNORE_OUTGOING, &one, sizeof one);
#endif
    int size = 4 << 20;
    setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    // Frames that arrived before the bind took effect may belong to any
    // interface; start from an empty queue.
    uint8_t scratch[2048];
    while (recv(fd_, scratch, sizeof scratch, MSG_DONTWAIT) > 0) {
    }
    return true;
}

long PacketPort::receive(uint8_t* buffer, size_t capacity) {
    for (;;) {
        sockaddr_ll from{};
        socklen_t from_length = sizeof from;
        ssize_t n = recvfrom(fd_, buffer, capacity, 0, reinterpret_cast<sockaddr*>(&from), &from_length);
        if (n < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;
            if (errno == EINTR) continue;
            return -1;
        }
        if (from.sll_pkttype == PACKET_OUTGOING) continue;
        return static_cast<long>(n);
    }
}

bool PacketPort::send(const uint8_t* bytes, size_t length) {
    for (;;) {
        ssize_t n = ::send(fd_, bytes, length, 0);
        if (n == static_cast<ssize_t>(length)) return true;
        if (n < 0 && errno == EINTR) continue;
        return false;
    }
}
