#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <vector>

#include "device.h"
#include "fault_random.h"

namespace zdp {

// Offsets of a ZDP frame (header fields big-endian).
constexpr size_t length = 16;  // 10 + segment bytes
constexpr size_t opcode = 19;
constexpr size_t sequence = 24;
constexpr size_t segments = 26;
constexpr size_t length_overhead = 10;

enum Opcode : uint8_t {
    ok = 0x00,
    error = 0x01,
    enable_cert = 0x08,
    disable_cert = 0x09,
    config_node = 0x10,
    config_send = 0x11,
    start_send = 0x12,
    stop_send = 0x13,
    config_recv = 0x15,
    stop_recv = 0x16,
    report_stats = 0x17,
    reset_stats = 0x19,
};

// A reply of `opcode` from `from` to `to` (6-byte MACs): header,
// `segment_bytes` and the end marker.
std::vector<uint8_t> reply_frame(const uint8_t* to, const uint8_t* from, uint8_t opcode, uint16_t sequence,
                                 const std::vector<uint8_t>& segment_bytes);

// Codes carried by an ERROR reply.
enum ErrorCode : uint8_t {
    bad_request = 1,        // a segment is missing or the frame is broken
    unknown_transfer = 2,   // STARTSEND names no transfer configured here
    not_the_sender = 3,     // CONFIGSEND whose SA is another station
    length_too_large = 4,   // CONFIGSEND packet length beyond 1482
};

}  // namespace zdp

// Where the local device keeps its view of the network.
namespace station_address {
constexpr uint32_t count = 0x80002070;  // count in bits 16-23
constexpr uint32_t stations = 0x8000D000;
constexpr uint32_t tx_channels = 0x80007000;
constexpr uint32_t rx_channels = 0x80008000;
constexpr uint32_t station_entry = 44;
constexpr uint32_t tx_entry = 56;
constexpr uint32_t rx_entry = 60;
}  // namespace station_address

// The HomePNA stations on the wire: the device itself and every --node.
// Each answers ZDP requests addressed to it; a started test is simulated at
// once (packets lost with --loss) and its acknowledgements are spaced by
// --ack-gap-ms.
class ZdpStations {
public:
    explicit ZdpStations(Device& device);

private:
    struct SendConfig {
        MacAddress sa{};
        std::vector<MacAddress> destinations;
        uint16_t length = 0;
        uint32_t npkts = 0;
        uint8_t numacks = 1;
        uint8_t txpe = 255;
    };
    struct Counters {
        std::array<uint32_t, 4> transmit{};  // XMT_NPKTS, NBYTES, NERRS, ELAPSED
        std::array<uint32_t, 9> receive{};   // RECV_NPKTS ... RECV_HDR_ERR
        uint8_t receive_pe = 0;
        uint16_t last_transfer = 0;
        enum class Role { none, transmitter, receiver } role = Role::none;
    };
    struct Station {
        MacAddress mac{};
        bool cert = false;
        uint8_t node_txpe = 255;
        std::map<uint16_t, SendConfig> sends;
        Counters counters;
    };

    void receive(const uint8_t* frame, size_t length);
    Station* station_at(const uint8_t* mac);
    void serve(Station& station, const uint8_t* frame, size_t length);
    int accept_config_send(Station& station, uint16_t id, const uint8_t* frame);
    int start(Station& station, const uint8_t* frame);
    void run_transfer(Station& sender, uint16_t id, const SendConfig& config);
    uint8_t encoding_for(const Station& sender, const SendConfig& config) const;
    std::vector<uint8_t> statistics(const Counters& counters) const;

    void answer(const Station& station, const uint8_t* request, uint8_t opcode,
                const std::vector<uint8_t>& segment_bytes = {});
    void send_reply(std::vector<uint8_t> frame);
    void preset_tables();

    Device& device_;
    std::vector<Station> stations_;
    FaultRandom drop_random_;
    FaultRandom loss_random_;
};
