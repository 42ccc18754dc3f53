// Host-interface round trips per second against devsim on the test
// namespace's veth pair: read_word, write_block of 1400 bytes and read_block
// of 1400 bytes, each beside the packet-socket ping-pong floor for the same
// frame sizes (an echo process on dv0 answering frames addressed to dv0's
// own MAC, which devsim leaves alone).
//
//   testbed/netns/run_in_netns.sh -- build/bin/hostif [seconds-per-figure]

#include <arpa/inet.h>
#include <net/if.h>
#include <netpacket/packet.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "hostif/host_interface.h"
#include "link/ethernet_link.h"
#include "startup/settings.h"

namespace {

constexpr uint16_t ETHERTYPE = 0x886C;
constexpr int SLICES = 10;
using Clock = std::chrono::steady_clock;

uint8_t echo_mac[6];

int open_packet_socket(const char* name) {
    const int index = static_cast<int>(if_nametoindex(name));
    if (index == 0) return -1;
    const int s = socket(AF_PACKET, SOCK_RAW, htons(ETHERTYPE));
    if (s < 0) return -1;
    sockaddr_ll address{};
    address.sll_family = AF_PACKET;
    address.sll_protocol = htons(ETHERTYPE);
    address.sll_ifindex = index;
    // Blocking receives, bounded so that a lost frame cannot hang the run.
    timeval limit{0, 50000};
    if (bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit) != 0) {
        close(s);
        return -1;
    }
    return s;
}

bool read_mac(const char* name, uint8_t mac[6]) {
    const int s = socket(AF_INET, SOCK_DGRAM, 0);
    if (s < 0) return false;
    ifreq request{};
    std::strncpy(request.ifr_name, name, IFNAMSIZ - 1);
    const bool ok = ioctl(s, SIOCGIFHWADDR, &request) == 0;
    if (ok) std::memcpy(mac, request.ifr_hwaddr.sa_data, 6);
    close(s);
    return ok;
}

ssize_t receive_incoming(int s, uint8_t* buffer, size_t size) {
    for (;;) {
        sockaddr_ll from{};
        socklen_t length = sizeof from;
        const ssize_t got = recvfrom(s, buffer, size, 0, reinterpret_cast<sockaddr*>(&from), &length);
        if (got < 0 || from.sll_pkttype != PACKET_OUTGOING) return got;
    }
}

// The floor's peer: echoes frames addressed to dv0 itself, nothing else.
[[noreturn]] void echo_peer(int s) {
    std::vector<uint8_t> buffer(65536);
    for (;;) {
        const ssize_t got = receive_incoming(s, buffer.data(), buffer.size());
        if (got < 14 || std::memcmp(buffer.data(), echo_mac, 6) != 0) continue;
        std::memcpy(buffer.data(), buffer.data() + 6, 6);
        std::memcpy(buffer.data() + 6, echo_mac, 6);
        send(s, buffer.data(), static_cast<size_t>(got), 0);
    }
}

struct Tally {
    double round_trips = 0;
    double seconds = 0;
    double rate() const { return seconds > 0 ? round_trips / seconds : 0; }
};

// Runs `once` (one round trip; false = lost) for the given time.
void measure(double seconds, Tally& tally, const std::function<bool()>& once) {
    uint32_t done = 0;
    const auto start = Clock::now();
    const auto end = start + std::chrono::duration<double>(seconds);
    while (Clock::now() < end && once()) ++done;
    tally.seconds += std::chrono::duration<double>(Clock::now() - start).count();
    tally.round_trips += done;
}

bool floor_round_trip(int s, std::vector<uint8_t>& frame, std::vector<uint8_t>& buffer, uint32_t& sequence);

// One slice of the floor on fresh sockets (so that no backlog of the link's
// traffic is in the way) with devsim stopped (so that it takes no CPU time
// looking at frames that are not for it).
void floor_slice(pid_t devsim, std::vector<uint8_t>& frame, double seconds, Tally& tally) {
    const int peer = open_packet_socket("dv0");
    const int pc = open_packet_socket("hl0");
    if (peer >= 0 && pc >= 0) {
        kill(devsim, SIGSTOP);
        // The peer is a process of its own, as devsim is.
        const pid_t echo = fork();
        if (echo == 0) {
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            echo_peer(peer);
        }
        std::vector<uint8_t> buffer(65536);
        uint32_t sequence = 0;
        if (echo > 0) measure(seconds, tally, [&] { return floor_round_trip(pc, frame, buffer, sequence); });
        if (echo > 0) {
            kill(echo, SIGKILL);
            waitpid(echo, nullptr, 0);
        }
        kill(devsim, SIGCONT);
    }
    if (peer >= 0) close(peer);
    if (pc >= 0) close(pc);
}

bool floor_round_trip(int s, std::vector<uint8_t>& frame, std::vector<uint8_t>& buffer, uint32_t& sequence) {
    ++sequence;
    std::memcpy(frame.data() + 28, &sequence, 4);
    if (send(s, frame.data(), frame.size(), 0) < 0) return false;
    for (;;) {
        const ssize_t got = receive_incoming(s, buffer.data(), buffer.size());
        if (got < 0) return false;
        if (got >= 32 && std::memcmp(buffer.data() + 28, &sequence, 4) == 0) return true;
    }
}

pid_t start_devsim(const char* path) {
    int out[2];
    if (pipe(out) != 0) return -1;
    const pid_t pid = fork();
    if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        dup2(out[1], STDOUT_FILENO);
        close(out[0]);
        execl(path, path, "-i", "dv0", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(out[1]);
    std::string text;
    char chunk[256];
    const auto limit = Clock::now() + std::chrono::seconds(5);
    while (text.find("listening") == std::string::npos && Clock::now() < limit) {
        pollfd fd{out[0], POLLIN, 0};
        if (poll(&fd, 1, 100) <= 0) continue;
        const ssize_t n = read(out[0], chunk, sizeof chunk);
        if (n <= 0) break;
        text.append(chunk, static_cast<size_t>(n));
    }
    close(out[0]);
    if (text.find("listening") == std::string::npos) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        return -1;
    }
    return pid;
}

bool open_link(EthernetLink& link) {
    if (link.initialize() != ZDK_SUCCESS) return false;
    const uint8_t wanted[4] = {192, 0, 2, 2};
    ZdkStatus status = link.first_interface(nullptr);
    for (; status == ZDK_SUCCESS; status = link.next_interface(nullptr)) {
        uint8_t address[4];
        if (link.interface_address(address) == ZDK_SUCCESS && std::memcmp(address, wanted, 4) == 0) break;
    }
    if (status != ZDK_SUCCESS || link.open_selected() != ZDK_SUCCESS) return false;
    char filter[160];
    format_device_filter(filter, sizeof filter);
    return link.set_filter(filter) == ZDK_SUCCESS;
}

}  // namespace

int main(int argc, char** argv) {
    if (getenv("HL_IFACE") == nullptr) {
        std::printf("run inside the test namespace: testbed/netns/run_in_netns.sh -- %s\n", argv[0]);
        return 77;
    }
    const double seconds = argc > 1 ? std::atof(argv[1]) : 2.0;
    const pid_t devsim = start_devsim(DEVSIM_PATH);
    EthernetLink link;
    if (devsim < 0 || !read_mac("hl0", pc_mac) || !read_mac("dv0", echo_mac) || !open_link(link)) {
        std::printf("cannot set up devsim, the veth pair or the link\n");
        if (devsim > 0) kill(devsim, SIGKILL);
        return 1;
    }

    struct Figure {
        const char* name;
        size_t request_bytes;
        std::function<bool()> once;
    };
    uint32_t value = 0;
    std::vector<uint8_t> block(1400);
    for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<uint8_t>(i);
    const Figure figures[] = {
        {"read_word", 64, [&] { return read_word(link, 0x8000, &value) == 0; }},
        {"write_block 1400", 1432,
         [&] {
             std::memcpy(message_buffer + MESSAGE_DATA_OFFSET, block.data(), block.size());
             return write_block(link, 0x28000, 1400, 0) == 1400;
         }},
        {"read_block 1400", 1432, [&] { return read_block(link, 0x28000, 1400, 0) == 1400; }},
    };

    std::printf("%-18s %12s %12s %7s\n", "operation", "rt/s", "floor rt/s", "ratio");
    for (const auto& figure : figures) {
        std::vector<uint8_t> frame(figure.request_bytes, 0);
        std::memcpy(frame.data(), echo_mac, 6);
        std::memcpy(frame.data() + 6, pc_mac, 6);
        frame[12] = ETHERTYPE >> 8;
        frame[13] = ETHERTYPE & 0xFF;
        Tally floor, measured, warm_up;
        measure(0.1, warm_up, figure.once);
        // Alternating short slices, so that a change of machine load weighs
        // on both figures alike.
        for (int slice = 0; slice < SLICES; ++slice) {
            floor_slice(devsim, frame, seconds / SLICES, floor);
            measure(seconds / SLICES, measured, figure.once);
        }
        std::printf("%-18s %12.0f %12.0f %7.2f\n", figure.name, measured.rate(), floor.rate(),
                    floor.rate() > 0 ? measured.rate() / floor.rate() : 0.0);
    }
    link.close();
    kill(devsim, SIGTERM);
    waitpid(devsim, nullptr, 0);
    return 0;
}
