#include <poll.h>

#include <cstdio>

#include "ethernet_link.h"
#include "stop/stop_request.h"

namespace {
constexpr int DUMP_FRAME_COUNT = 5;
constexpr int BYTES_PER_LINE = 256;
constexpr int DUMP_WAIT_MS = 100;
}  // namespace

// The handle is non-blocking, so the five frames are awaited on the capture
// descriptor instead of letting the library's loop spin until they come.
ZdkStatus EthernetLink::dump_to_file(const char* path) {
    if (capture_ == nullptr) return ZDK_NO_CAPTURE_HANDLE;
    pcap_dumper_t* dumper = path != nullptr ? pcap_dump_open(capture_, path) : nullptr;
    if (dumper == nullptr) {
        std::printf("Unable to start the dump, %s\n", pcap_geterr(capture_));
        return ZDK_UNSUCCESSFUL;
    }
    pollfd capture_fd{pcap_get_selectable_fd(capture_), POLLIN, 0};
    int captured = 0;
    while (captured < DUMP_FRAME_COUNT && !stop_requested()) {
        if (capture_fd.fd >= 0) poll(&capture_fd, 1, DUMP_WAIT_MS);
        const int got = pcap_dispatch(capture_, DUMP_FRAME_COUNT - captured, pcap_dump,
                                      reinterpret_cast<u_char*>(dumper));
        if (got < 0) break;
        captured += got;
    }
    pcap_dump_close(dumper);
    return ZDK_SUCCESS;
}

ZdkStatus EthernetLink::replay_file(const char* path) {
    if (capture_ == nullptr) return ZDK_NO_CAPTURE_HANDLE;
    char error[PCAP_ERRBUF_SIZE] = "";
    pcap_t* file = path != nullptr ? pcap_open_offline(path, error) : nullptr;
    if (file == nullptr) {
        std::printf("\nError opening dump file\n");
        return ZDK_UNSUCCESSFUL;
    }
    pcap_pkthdr* header = nullptr;
    const u_char* data = nullptr;
    int result = 0;
    // A stop asked for by a signal ends the replay: nothing more is sent.
    while (!stop_requested() && (result = pcap_next_ex(file, &header, &data)) >= 0) {
        // A frame the interface refuses is skipped; the replay goes on.
        pcap_sendpacket(capture_, data, static_cast<int>(header->caplen));
        std::printf("%ld:%ld (%ld)\n", static_cast<long>(header->ts.tv_sec),
                    static_cast<long>(header->ts.tv_usec), static_cast<long>(header->len));
        for (bpf_u_int32 i = 1; i <= header->caplen; ++i) {
            std::printf("%.2x ", data[i - 1]);
            if (i % BYTES_PER_LINE == 0) std::printf("\n");
        }
        std::printf("\n\n");
    }
    if (result == PCAP_ERROR) std::printf("Error reading the packets: %s\n", pcap_geterr(file));
    pcap_close(file);
    return ZDK_SUCCESS;
}
