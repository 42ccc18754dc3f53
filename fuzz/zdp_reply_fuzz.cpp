// libFuzzer target for what the loader reads out of the replies of test
// nodes and of the local device: ZDP acknowledgements, statistics reports
// with their demodulator samples, and station and channel table entries.
// The input picks a command and its settings, then holds the raw frames that
// arrive after each request (see FuzzInput); once they run out, the device
// answers its host-interface requests with zeros and the nodes stay silent.
// Waits run on a simulated clock.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <deque>

#include "answering_link.h"
#include "fuzz_input.h"
#include "hostif/host_interface.h"
#include "settings/settings.h"
#include "zdp/statistics.h"
#include "zdp/transfer_tables.h"
#include "zdp/zdp_ack.h"
#include "zdp/zdp_client.h"
#include "zdp/zdp_commands.h"

namespace {

const uint8_t PC[6] = {0x02, 0x00, 0x00, 0x00, 0x00, 0x02};
const uint8_t DEVICE[6] = {0x0A, 0x3F, 0x71, 0x00, 0x00, 0x01};
const uint8_t TRANSMITTER[6] = {0x02, 0x00, 0x00, 0x00, 0x00, 0x07};
const uint8_t RECEIVER[6] = {0x02, 0x00, 0x00, 0x00, 0x00, 0x08};
// Node arguments as a script line gives them: the transmitter, the receiver
// and a node in neither transfer table.
const char* const NODE_ARGUMENTS[] = {"02:00:00:00:00:07 3000\n", "02:00:00:00:00:08 3000\n",
                                      "02:00:00:00:00:09\n"};

class SimulatedPacing : public ZdpPacing {
public:
    long long now_seconds() override { return now_ms_ / 1000; }
    void sleep_ms(int milliseconds) override { now_ms_ += milliseconds; }
    int key_waiting() override { return 0; }
    int read_key() override { return -1; }

private:
    long long now_ms_ = 1'000'000'000'000LL;
};

struct Session {
    AnsweringLink& link;
    ZdpClient& zdp;
    const char* node;
};

void report_stats(Session& s) { report_stats_command(s.zdp, s.node); }
void reset_stats(Session& s) { reset_stats_command(s.zdp, s.node); }
// Both ends of a transfer report, so the second report completes the PER.
void report_pair(Session& s) {
    report_stats_command(s.zdp, NODE_ARGUMENTS[0]);
    report_stats_command(s.zdp, NODE_ARGUMENTS[1]);
}
void acknowledge(Session& s) {
    uint8_t node[6] = {};
    int timeout_ms = 0;
    parse_node_argument(s.node, node, &timeout_ms);
    if (s.zdp.send_enable_cert(node) == ZDK_SUCCESS) wait_ack_for(s.zdp, timeout_ms);
}
void stations(Session& s) { get_stations_command(s.link, s.node); }
void tx_channels(Session& s) { get_tx_chan_table_command(s.link); }
void rx_channels(Session& s) { get_rx_chan_table_command(s.link); }
void tx_pe(Session& s) { get_tx_pe_command(s.link, s.node); }
void rx_pe(Session& s) { get_rx_pe_command(s.link, s.node); }

using Command = void (*)(Session&);
constexpr Command COMMANDS[] = {report_stats, reset_stats, report_pair, acknowledge, stations,
                                tx_channels,  rx_channels, tx_pe,       rx_pe};

// Queues the next group of frames from the input.
void queue_group(FuzzInput& input, std::deque<AnsweringLink::Frame>& waiting) {
    while (!input.empty()) {
        const FuzzInput::Frame frame = input.frame();
        waiting.emplace_back(frame.bytes, frame.bytes + frame.length);
        if (!frame.more_in_group) return;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput input(data, size);
    const uint8_t command = input.byte();
    const uint8_t settings = input.byte();
    debug_level = settings & 3;
    cert_verbose = (settings >> 2) & 1;
    const char* node = NODE_ARGUMENTS[((settings >> 3) & 3) % 3];

    std::memcpy(pc_mac, PC, 6);
    std::memcpy(device_mac, DEVICE, 6);
    reset_header_template();
    forget_reply_history();
    reset_per_accumulator();
    reset_transfer_tables();
    send_transfers.add(TRANSMITTER, 1);
    receive_transfers.add(RECEIVER, 2);

    AnsweringLink link;
    std::memcpy(link.local_mac, PC, 6);
    link.frames_before_answer = [&input](std::deque<AnsweringLink::Frame>& waiting) { queue_group(input, waiting); };
    SimulatedPacing pacing;
    ZdpClient zdp;
    if (zdp.init(&link) != ZDK_SUCCESS) return 0;
    zdp.set_pacing(&pacing);

    Session session{link, zdp, node};
    COMMANDS[command % (sizeof COMMANDS / sizeof COMMANDS[0])](session);
    return 0;
}
