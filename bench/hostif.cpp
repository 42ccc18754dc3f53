// Host-interface round trips per second against devsim on the test
// namespace's veth pair: read_word, write_block of 1400 bytes and read_block
// of 1400 bytes, each beside the packet-socket ping-pong floor for the same
// frame sizes (packet_floor.h). The run stays on one CPU so that the floor
// and the loader are measured alike.
//
//   build/bin/hostif [seconds-per-figure]     (enters the test namespace itself)

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <vector>

#include "bench_setup.h"
#include "hostif/host_interface.h"
#include "link/ethernet_link.h"
#include "packet_floor.h"

namespace {

constexpr int SLICES = 10;

}  // namespace

int main(int argc, char** argv) {
    enter_test_namespace(argv);
    if (getenv("HL_IFACE") == nullptr) return 77;
    const double seconds = argc > 1 ? std::atof(argv[1]) : 2.0;
    if (!keep_on_one_cpu()) return 1;
    Devsim devsim = start_devsim({});
    EthernetLink link;
    if (devsim.pid < 0 || !open_device_link(link)) {
        std::printf("cannot set up devsim, the veth pair or the link\n");
        stop_devsim(devsim);
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
        RoundTrips floor, measured, warm_up;
        measure_round_trips(0.1, warm_up, figure.once);
        // Alternating short slices, so that a change of machine load weighs
        // on both figures alike.
        for (int slice = 0; slice < SLICES; ++slice) {
            floor_slice(devsim.pid, figure.request_bytes, figure.request_bytes, seconds / SLICES, floor);
            measure_round_trips(seconds / SLICES, measured, figure.once);
        }
        std::printf("%-18s %12.0f %12.0f %7.2f\n", figure.name, measured.rate(), floor.rate(),
                    floor.rate() > 0 ? measured.rate() / floor.rate() : 0.0);
    }
    link.close();
    stop_devsim(devsim);
    return 0;
}
