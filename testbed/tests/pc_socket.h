#pragma once

#include <arpa/inet.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <vector>

// The PC end of the test wire: a packet socket on hl0 that sends frames and
// receives the EtherType 0x886C frames that come back.
class PcSocket {
public:
    PcSocket() {
        fd_ = socket(AF_PACKET, SOCK_RAW, htons(0x886C));
        if (fd_ < 0) return;
        sockaddr_ll a{};
        a.sll_family = AF_PACKET;
        a.sll_protocol = htons(0x886C);
        a.sll_ifindex = static_cast<int>(if_nametoindex("hl0"));
        packet_mreq m{};
        m.mr_ifindex = a.sll_ifindex;
        m.mr_type = PACKET_MR_PROMISC;
        if (bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
            setsockopt(fd_, SOL_PACKET, PACKET_ADD_MEMBERSHIP, &m, sizeof m) != 0) {
            close(fd_);
            fd_ = -1;
        }
    }
    ~PcSocket() {
        if (fd_ >= 0) close(fd_);
    }
    bool ok() const { return fd_ >= 0; }

    bool send(const std::vector<uint8_t>& f) { return ::send(fd_, f.data(), f.size(), 0) == static_cast<ssize_t>(f.size()); }

    // The next frame from another sender within wait_ms; empty if none.
    std::vector<uint8_t> receive(int wait_ms) {
        auto limit = std::chrono::steady_clock::now() + std::chrono::milliseconds(wait_ms);
        for (;;) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(limit - std::chrono::steady_clock::now());
            pollfd p{fd_, POLLIN, 0};
            if (poll(&p, 1, left.count() > 0 ? static_cast<int>(left.count()) : 0) <= 0) return {};
            std::vector<uint8_t> f(2048);
            sockaddr_ll from{};
            socklen_t n = sizeof from;
            ssize_t got = recvfrom(fd_, f.data(), f.size(), 0, reinterpret_cast<sockaddr*>(&from), &n);
            if (got < 0) return {};
            if (from.sll_pkttype == PACKET_OUTGOING) continue;
            f.resize(static_cast<size_t>(got));
            return f;
        }
    }

    std::vector<uint8_t> ask(const std::vector<uint8_t>& f, int wait_ms = 500) {
        if (!send(f)) return {};
        return receive(wait_ms);
    }

private:
    int fd_ = -1;
};
