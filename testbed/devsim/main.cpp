// devsim: stands in for a HomePNA device (and further stations on its wire)
// on one network interface, so that the loader can be tested without
// hardware.
#include <poll.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "boot.h"
#include "capture_file.h"
#include "device.h"
#include "memory_files.h"
#include "options.h"
#include "nonvolatile_memory.h"
#include "packet_port.h"
#include "programming_mailbox.h"
#include "stray_zdp.h"
#include "zdp_stations.h"

namespace {

class PortWire : public Wire {
public:
    PortWire(PacketPort& port, CaptureFile& capture) : port_(port), capture_(capture) {}
    void transmit(const uint8_t* bytes, size_t length) override {
        capture_.record(bytes, length);
        port_.send(bytes, length);
    }

private:
    PacketPort& port_;
    CaptureFile& capture_;
};

int64_t monotonic_us() {
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

// Longest sleep without a frame or a due action; bounds how stale the
// capture file on disk can get.
constexpr int64_t idle_wait_us = 100000;

}  // namespace

int main(int argc, char** argv) {
    DevsimOptions options;
    std::string error;
    bool help = false;
    if (!parse_options(argc, argv, options, error, help)) {
        std::fprintf(stderr, "devsim: %s\n%s", error.c_str(), usage_text());
        return 2;
    }
    if (help) {
        std::fputs(usage_text(), stdout);
        return 0;
    }

    PacketPort port;
    if (!port.open(options.interface, error)) {
        std::fprintf(stderr, "devsim: %s\n", error.c_str());
        return 1;
    }
    CaptureFile capture;
    if (!options.capture_path.empty() && !capture.open(options.capture_path)) {
        std::fprintf(stderr, "devsim: cannot write %s\n", options.capture_path.c_str());
        return 1;
    }
    NonvolatileMemory flash(options.flash_size, options.flash_path);
    NonvolatileMemory eeprom(options.eeprom_size, options.eeprom_path);
    if (!flash.load(error) || !eeprom.load(error)) {
        std::fprintf(stderr, "devsim: %s\n", error.c_str());
        return 1;
    }
    PortWire wire(port, capture);
    Device device(options, wire);
    ProgrammingMailbox mailbox(device, flash, eeprom);
    BootLoader boot(device, flash, eeprom);
    ZdpStations stations(device);
    StrayZdp stray(device);
    for (const auto& load : options.loads) {
        if (!load_memory_file(device.memory, load, error)) {
            std::fprintf(stderr, "devsim: %s\n", error.c_str());
            return 1;
        }
    }

    // The end signals are taken only inside ppoll, so none is lost between
    // the check and the wait.
    sigset_t ending, during_wait;
    sigemptyset(&ending);
    sigaddset(&ending, SIGINT);
    sigaddset(&ending, SIGTERM);
    sigprocmask(SIG_BLOCK, &ending, &during_wait);
    sigdelset(&during_wait, SIGINT);
    sigdelset(&during_wait, SIGTERM);
    struct sigaction quiet {};
    quiet.sa_handler = [](int) {};
    sigaction(SIGINT, &quiet, nullptr);
    sigaction(SIGTERM, &quiet, nullptr);

    std::printf("devsim: listening on %s as %s\n", options.interface.c_str(), format_mac(options.mac).c_str());
    std::fflush(stdout);

    std::vector<uint8_t> buffer(65536);
    for (;;) {
        int64_t now = monotonic_us();
        device.advance(now);
        int64_t wait = std::min(idle_wait_us, std::max<int64_t>(0, device.next_event_us() - now));
        timespec limit{static_cast<time_t>(wait / 1000000), static_cast<long>(wait % 1000000) * 1000};
        pollfd p{port.fd(), POLLIN, 0};
        int ready = ppoll(&p, 1, &limit, &during_wait);
        if (ready < 0) {
            if (errno == EINTR) break;  // SIGINT or SIGTERM
            std::perror("devsim: poll");
            break;
        }
        if (ready == 0) {
            capture.flush();
            continue;
        }
        for (int i = 0; i < 256; ++i) {
            long n = port.receive(buffer.data(), buffer.size());
            if (n <= 0) break;
            capture.record(buffer.data(), static_cast<size_t>(n));
            device.receive(buffer.data(), static_cast<size_t>(n), monotonic_us());
        }
    }

    const DeviceCounters& c = device.counters;
    std::printf("devsim: received %llu, answered %llu, echoed %llu, malformed %llu, dropped %llu, busy %llu\n",
                static_cast<unsigned long long>(c.received), static_cast<unsigned long long>(c.answered),
                static_cast<unsigned long long>(c.echoed), static_cast<unsigned long long>(c.malformed),
                static_cast<unsigned long long>(c.dropped), static_cast<unsigned long long>(c.busy));
    int status = 0;
    for (const auto& dump : options.dumps) {
        if (!dump_memory_file(device.memory, dump, error)) {
            std::fprintf(stderr, "devsim: %s\n", error.c_str());
            status = 1;
        }
    }
    for (const NonvolatileMemory* part : {&flash, &eeprom}) {
        if (!part->save(error)) {
            std::fprintf(stderr, "devsim: %s\n", error.c_str());
            status = 1;
        }
    }
    capture.close();
    std::fflush(stdout);
    return status;
}
