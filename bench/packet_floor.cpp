#include "packet_floor.h"

#include <arpa/inet.h>
#include <net/if.h>
#include <netpacket/packet.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <vector>

#include "bench_setup.h"

namespace {

constexpr uint16_t ETHERTYPE = BENCH_ETHERTYPE;
// Where each request carries its sequence number, which the echo keeps.
constexpr size_t SEQUENCE_OFFSET = 28;
using Clock = std::chrono::steady_clock;

// Blocking receives, bounded so that a lost frame cannot hang the run.
int open_floor_socket(const char* name) {
    int index = 0;
    const int s = open_packet_socket(name, &index);
    timeval limit{0, 50000};
    if (s >= 0 && setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit) != 0) {
        close(s);
        return -1;
    }
    return s;
}

// The floor's peer: answers frames addressed to dv0 itself, nothing else,
// with a frame of reply_bytes that keeps the request's first bytes.
[[noreturn]] void echo_peer(int s, const uint8_t echo_mac[6], size_t reply_bytes) {
    std::vector<uint8_t> buffer(65536);
    std::vector<uint8_t> reply(reply_bytes);
    for (;;) {
        const ssize_t got = receive_incoming(s, buffer.data(), buffer.size());
        if (got < 14 || std::memcmp(buffer.data(), echo_mac, 6) != 0) continue;
        std::fill(reply.begin(), reply.end(), 0);
        std::memcpy(reply.data(), buffer.data(), std::min(reply_bytes, static_cast<size_t>(got)));
        std::memcpy(reply.data(), buffer.data() + 6, 6);
        std::memcpy(reply.data() + 6, echo_mac, 6);
        send(s, reply.data(), reply.size(), 0);
    }
}

bool floor_round_trip(int s, std::vector<uint8_t>& frame, std::vector<uint8_t>& buffer, uint32_t& sequence) {
    ++sequence;
    std::memcpy(frame.data() + SEQUENCE_OFFSET, &sequence, 4);
    if (send(s, frame.data(), frame.size(), 0) < 0) return false;
    for (;;) {
        const ssize_t got = receive_incoming(s, buffer.data(), buffer.size());
        if (got < 0) return false;
        if (got >= static_cast<ssize_t>(SEQUENCE_OFFSET + 4) &&
            std::memcmp(buffer.data() + SEQUENCE_OFFSET, &sequence, 4) == 0)
            return true;
    }
}

}  // namespace

void measure_round_trips(double seconds, RoundTrips& tally, const std::function<bool()>& once) {
    uint32_t done = 0;
    const auto start = Clock::now();
    const auto end = start + std::chrono::duration<double>(seconds);
    while (Clock::now() < end && once()) ++done;
    tally.seconds += std::chrono::duration<double>(Clock::now() - start).count();
    tally.count += done;
}

void floor_slice(pid_t devsim, size_t request_bytes, size_t reply_bytes, double seconds, RoundTrips& tally) {
    uint8_t pc_side[6], echo_mac[6];
    // Without devsim's own pid there is nothing to pause: a signal to pid 0
    // or -1 would reach far more than devsim.
    if (devsim <= 0 || request_bytes < SEQUENCE_OFFSET + 4 || reply_bytes < SEQUENCE_OFFSET + 4 ||
        !read_interface_mac("hl0", pc_side) || !read_interface_mac("dv0", echo_mac))
        return;
    std::vector<uint8_t> frame(request_bytes, 0);
    std::memcpy(frame.data(), echo_mac, 6);
    std::memcpy(frame.data() + 6, pc_side, 6);
    frame[12] = ETHERTYPE >> 8;
    frame[13] = ETHERTYPE & 0xFF;

    const int peer = open_floor_socket("dv0");
    const int pc = open_floor_socket("hl0");
    if (peer >= 0 && pc >= 0) {
        kill(devsim, SIGSTOP);
        // The peer is a process of its own, as devsim is.
        const pid_t echo = fork();
        if (echo == 0) {
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            echo_peer(peer, echo_mac, reply_bytes);
        }
        std::vector<uint8_t> buffer(65536);
        uint32_t sequence = 0;
        if (echo > 0) {
            measure_round_trips(seconds, tally, [&] { return floor_round_trip(pc, frame, buffer, sequence); });
            kill(echo, SIGKILL);
            waitpid(echo, nullptr, 0);
        }
        kill(devsim, SIGCONT);
    }
    if (peer >= 0) close(peer);
    if (pc >= 0) close(pc);
}
