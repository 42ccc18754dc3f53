// Round trips per second over the test namespace's veth pair: EthernetLink
// (send_frame, then receive_frame until the echo arrives) against a plain
// packet-socket ping-pong on the same pair, the floor any capture-library
// path can reach. An echo thread on dv0 plays the device. The run stays on
// one CPU, so that the floor and the link are measured alike.
//
//   build/bin/link_rtt [seconds-per-run]     (enters the test namespace itself)

#include <arpa/inet.h>
#include <net/if.h>
#include <netpacket/packet.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "bench_setup.h"
#include "link/ethernet_link.h"

namespace {

constexpr uint16_t ETHERTYPE = BENCH_ETHERTYPE;
constexpr int SLICES = 20;
using Clock = std::chrono::steady_clock;
using Frame = std::vector<uint8_t>;

// Sends every frame arriving on dv0 back with the addresses swapped.
void echo_device(int s, const std::atomic<bool>& stop) {
    std::vector<uint8_t> buffer(65536);
    while (!stop) {
        pollfd fd{s, POLLIN, 0};
        if (poll(&fd, 1, 50) <= 0) continue;
        const ssize_t got = receive_incoming(s, buffer.data(), buffer.size());
        if (got < 14) continue;
        uint8_t swap[6];
        std::memcpy(swap, buffer.data(), 6);
        std::memcpy(buffer.data(), buffer.data() + 6, 6);
        std::memcpy(buffer.data() + 6, swap, 6);
        send(s, buffer.data(), static_cast<size_t>(got), 0);
    }
}

Frame request_frame(const uint8_t to[6], const uint8_t from[6], size_t length) {
    Frame frame(length, 0);
    std::memcpy(frame.data(), to, 6);
    std::memcpy(frame.data() + 6, from, 6);
    frame[12] = ETHERTYPE >> 8;
    frame[13] = ETHERTYPE & 0xFF;
    frame[14] = 0x80;
    frame[15] = 0x01;
    return frame;
}

void stamp(Frame& frame, uint32_t sequence) { std::memcpy(frame.data() + 16, &sequence, 4); }
bool carries(const uint8_t* bytes, int length, uint32_t sequence) {
    return length >= 20 && std::memcmp(bytes + 16, &sequence, 4) == 0;
}

struct Tally {
    double round_trips = 0;
    double seconds = 0;
    double rate() const { return seconds > 0 ? round_trips / seconds : 0; }
};

// One slice of ping-pong on a plain packet socket.
void floor_slice(Frame frame, double seconds, Tally& tally) {
    int index = 0;
    const int s = open_packet_socket("hl0", &index);
    if (s < 0) return;
    std::vector<uint8_t> buffer(65536);
    uint32_t done = 0;
    const auto start = Clock::now();
    const auto end = start + std::chrono::duration<double>(seconds);
    while (Clock::now() < end) {
        stamp(frame, done);
        if (send(s, frame.data(), frame.size(), 0) < 0) break;
        ssize_t got;
        do {
            got = receive_incoming(s, buffer.data(), buffer.size());
        } while (got >= 0 && !carries(buffer.data(), static_cast<int>(got), done));
        if (got < 0) break;
        ++done;
    }
    tally.seconds += std::chrono::duration<double>(Clock::now() - start).count();
    tally.round_trips += done;
    close(s);
}

// One slice of the same through EthernetLink, opened the way start-up opens it.
void link_slice(Frame frame, const uint8_t pc[6], double seconds, Tally& tally) {
    EthernetLink link;
    if (link.initialize() != ZDK_SUCCESS) return;
    const uint8_t wanted[4] = {192, 0, 2, 2};
    ZdkStatus status = link.first_interface(nullptr);
    for (; status == ZDK_SUCCESS; status = link.next_interface(nullptr)) {
        uint8_t address[4];
        if (link.interface_address(address) == ZDK_SUCCESS && std::memcmp(address, wanted, 4) == 0) break;
    }
    if (status != ZDK_SUCCESS || link.open_selected() != ZDK_SUCCESS) return;
    char filter[96];
    std::snprintf(filter, sizeof filter, "ether dst %02x:%02x:%02x:%02x:%02x:%02x and ether proto 0x%x", pc[0], pc[1],
                  pc[2], pc[3], pc[4], pc[5], ETHERTYPE);
    if (link.set_filter(filter) != ZDK_SUCCESS) return;
    uint32_t done = 0;
    const auto start = Clock::now();
    const auto end = start + std::chrono::duration<double>(seconds);
    while (Clock::now() < end) {
        stamp(frame, done);
        if (link.send_frame(frame.data(), static_cast<int>(frame.size())) != ZDK_SUCCESS) break;
        const uint8_t* bytes = nullptr;
        int length = 0;
        int calls = 0;
        while (!(link.receive_frame(&bytes, &length) == ZDK_SUCCESS && carries(bytes, length, done))) {
            if (++calls > 1000) {  // a lost echo: the slice does not count
                link.close();
                return;
            }
        }
        ++done;
    }
    tally.seconds += std::chrono::duration<double>(Clock::now() - start).count();
    tally.round_trips += done;
    link.close();
}

}  // namespace

int main(int argc, char** argv) {
    enter_test_namespace(argv);
    if (getenv("HL_IFACE") == nullptr) return 77;
    const double seconds = argc > 1 ? std::atof(argv[1]) : 2.0;
    if (!keep_on_one_cpu()) return 1;
    uint8_t pc[6];
    uint8_t device[6];
    int device_index = 0;
    const int device_socket = open_packet_socket("dv0", &device_index);
    if (device_socket < 0 || !read_interface_mac("hl0", pc) || !read_interface_mac("dv0", device)) {
        std::printf("cannot open the veth pair (hl0/dv0)\n");
        return 1;
    }
    std::atomic<bool> stop{false};
    std::thread echo(echo_device, device_socket, std::cref(stop));

    std::printf("%-6s %14s %14s %7s\n", "bytes", "floor rt/s", "link rt/s", "ratio");
    for (const size_t length : {size_t{64}, size_t{1432}}) {
        const Frame frame = request_frame(device, pc, length);
        Tally warm_up;
        floor_slice(frame, 0.1, warm_up);
        // Short alternating slices, so that a change in machine load weighs
        // on both figures alike.
        Tally floor;
        Tally linked;
        for (int slice = 0; slice < SLICES; ++slice) {
            floor_slice(frame, seconds / SLICES, floor);
            link_slice(frame, pc, seconds / SLICES, linked);
        }
        std::printf("%-6zu %14.0f %14.0f %7.2f\n", length, floor.rate(), linked.rate(),
                    floor.rate() > 0 ? linked.rate() / floor.rate() : 0.0);
    }
    stop = true;
    echo.join();
    close(device_socket);
    return 0;
}
