#include <cstdio>
#include <cstring>

#include "settings/settings.h"
#include "script_block.h"
#include "station_tables.h"
#include "statistics.h"
#include "stop/stop_request.h"
#include "transfer_tables.h"
#include "zdp_ack.h"
#include "zdp_client.h"
#include "zdp_commands.h"

namespace {

constexpr int ACK_TIMEOUT_MS = 10000;
constexpr int STATISTICS_TIMEOUT_MS = 10000;
constexpr int PHASE_PAUSE_MS = 500;

// The pair's PER in percent; n/a where it was not measured, and never below 0
// (a receiver that counted more than was sent lost nothing).
void print_pair_per(bool measured, double per) {
    if (!measured) {
        std::printf("\tPER = %s%%  \n\n", PER_NOT_MEASURED);
        return;
    }
    std::printf("\tPER = %3.2f%%  \n\n", (per < 0.0 ? 0.0 : per) * 100.0);
}

struct TestParameters {
    ZdpSendConfig send;
    ZdpRecvConfig receive;
};

bool read_network_block(std::FILE* script, TestParameters& parameters) {
    ZdpSendConfig& send = parameters.send;
    ScriptBlock block(script, "=\n\r ");
    for (;;) {
        const char* keyword = block.next_keyword();
        if (keyword == nullptr) return false;
        if (std::strcmp(keyword, "TEST_NETWORK_END") == 0) break;
        if (std::strcmp(keyword, "burst_int") == 0) {
            send.burst_int = static_cast<uint16_t>(block.number());
        } else if (std::strcmp(keyword, "burst_npkts") == 0) {
            send.burst_npkts = static_cast<uint16_t>(block.number());
        } else if (std::strcmp(keyword, "destinations") == 0) {
            block.number();
        } else if (std::strcmp(keyword, "dgen_data") == 0) {
            send.dgen_data = static_cast<uint32_t>(block.number());
        } else if (std::strcmp(keyword, "dgen_type") == 0) {
            send.dgen_type = static_cast<uint8_t>(block.number());
        } else if (std::strcmp(keyword, "length") == 0) {
            send.length = static_cast<uint16_t>(block.number());
        } else if (std::strcmp(keyword, "npkts") == 0) {
            send.npkts = static_cast<uint32_t>(block.number());
        } else if (std::strcmp(keyword, "numacks") == 0) {
            send.numacks = static_cast<uint8_t>(block.number());
        } else if (std::strcmp(keyword, "txpe_test") == 0) {
            send.txpe_test = static_cast<uint8_t>(block.number());
        } else if (std::strcmp(keyword, "txpri_test") == 0) {
            send.txpri_test = static_cast<uint8_t>(block.number());
        } else {
            std::printf("Parsing Error :unknown parameter : %s\n", keyword);
        }
    }
    parameters.receive.dgen_type = send.dgen_type;
    parameters.receive.dgen_data = send.dgen_data;
    parameters.receive.length = send.length;
    send.destination_count = 1;
    parameters.receive.destination_count = 1;
    return true;
}

enum class PairOutcome { done, stop };

// Runs one transmitter/receiver pair. A request that cannot be sent stops the
// whole command with its status text in *failure. A stop asked for by a
// signal stops it too, at the wait it cut short, with nothing more printed
// (and sent).
class PairTest {
public:
    PairTest(ZdpClient& zdp, TestParameters& parameters, const uint8_t* sa, const uint8_t* da)
        : zdp_(zdp), parameters_(parameters), sa_(sa), da_(da) {}

    PairOutcome run(std::string* failure) {
        failure_ = failure;
        std::memcpy(parameters_.send.sa, sa_, 6);
        std::memcpy(parameters_.send.destinations[0], da_, 6);
        std::memcpy(parameters_.receive.sa, sa_, 6);
        std::memcpy(parameters_.receive.destinations[0], da_, 6);
        std::printf("\n\n\nperforming test : SA = %x %x %x %x %x %x , DA = %x %x %x %x %x %x\n", sa_[0], sa_[1],
                    sa_[2], sa_[3], sa_[4], sa_[5], da_[0], da_[1], da_[2], da_[3], da_[4], da_[5]);

        const char* enable_failed = "\n\tFailed to receive ACK when enabling_cert. Aborting current test\n";
        progress("\tTransmitter - ENABLE_CERT... ");
        if (!sent(zdp_.send_enable_cert(sa_))) return PairOutcome::stop;
        if (!acknowledged(enable_failed)) return after_missing_ack();
        progress("\n\tReceiver    - ENABLE_CERT... ");
        if (!sent(zdp_.send_enable_cert(da_))) return PairOutcome::stop;
        if (!acknowledged(enable_failed)) return after_missing_ack();

        progress("\n\tTransmitter - CONFIG_SEND... ");
        if (!sent(zdp_.send_config_send(sa_, parameters_.send))) return PairOutcome::stop;
        send_transfers.add(sa_, parameters_.send.transfer_id);
        if (!acknowledged("Failed to receive ACK when issuing CONFIG_SEND. Aborting current test\n")) {
            return after_missing_ack();
        }
        progress("\n\tReceiver    - CONFIG_RECV... ");
        if (!sent(zdp_.send_config_recv(da_, parameters_.receive))) return PairOutcome::stop;
        receive_transfers.add(da_, parameters_.receive.transfer_id);
        if (!acknowledged("Failed to receive ACK when issuing CONFIG_RECV. Aborting current test\n")) {
            return after_missing_ack();
        }

        if (!start_and_follow()) return PairOutcome::stop;
        if (!collect_statistics()) return PairOutcome::stop;
        return disable_both() ? PairOutcome::done : PairOutcome::stop;
    }

private:
    void progress(const char* text) const {
        if (debug_level >= 2) std::printf("%s", text);
    }

    bool sent(ZdkStatus status) {
        if (status == ZDK_SUCCESS) return true;
        *failure_ = status_text(status);
        return false;
    }

    // A wait a stop cut short missed nothing: no failure line.
    bool acknowledged(const char* failure_message) {
        if (wait_ack_for(zdp_, ACK_TIMEOUT_MS) == 0) return true;
        if (!stop_requested()) std::printf("%s", failure_message);
        return false;
    }

    // A pair whose acknowledgement did not come is skipped, unless a stop
    // ended the wait.
    static PairOutcome after_missing_ack() { return stop_requested() ? PairOutcome::stop : PairOutcome::done; }

    // Every transfer configured for this transmitter is started; the
    // acknowledgements answer the last STARTSEND.
    bool start_and_follow() {
        per_accumulator.reports = 0;
        for (int i = 0; i < send_transfers.count; ++i) {
            if (std::memcmp(send_transfers.entries[i].address, sa_, 6) != 0) continue;
            uint16_t id = send_transfers.entries[i].transfer_id;
            if (!sent(zdp_.send_start_send(sa_, &id, 1))) return false;
        }
        unsigned expected = parameters_.send.numacks;
        if (debug_level >= 2) std::printf("\n\n\tWaiting for %u ACKS prior to test start:", expected);
        for (unsigned k = 1; k <= expected; ++k) {
            if (debug_level >= 2) std::printf("\n\t%i - ", static_cast<int>(k));
            if (wait_ack_for(zdp_, ACK_TIMEOUT_MS) != 0) {
                if (stop_requested()) return false;
                std::printf("     Failed to receive ACK %u of %u\n", k, expected);
            }
        }
        if (debug_level >= 2) {
            std::printf("\n\tTest in progress...\n");
            std::printf("\tWaiting for %u ACKS after the test is done:", expected);
        }
        // Without limit: only the acknowledgement or a stop ends the wait.
        for (unsigned k = 1; k <= expected; ++k) {
            if (debug_level >= 2) std::printf("\n\t%i - ", static_cast<int>(k));
            if (wait_ack_for(zdp_, -1) != 0) return false;
        }
        return true;
    }

    bool collect_statistics() {
        zdp_.pacing().sleep_ms(PHASE_PAUSE_MS);
        double inverse = 1.0;
        const uint8_t* reply = nullptr;
        int length = 0;

        progress("\n\n\tTransmitter - REPORT_STATS... ");
        if (!sent(zdp_.send_report_stats(sa_))) return false;
        // Without the transmitter's packet count (or with none sent) there
        // is nothing to measure the PER against.
        bool have_transmitted = false;
        const bool transmitter_reported = await_ack(zdp_, STATISTICS_TIMEOUT_MS, 100, &reply, &length) == 0;
        if (!transmitter_reported && stop_requested()) return false;
        if (transmitter_reported) {
            progress("\n");
            uint32_t transmitted = 0;
            if (first_counter(reply, length, &transmitted) && transmitted != 0) {
                inverse = 1.0 / transmitted;
                have_transmitted = true;
            }
            print_statistics(reply, length, sa_);
        }
        if (per_accumulator.reports == 0) std::printf("ERROR: failed to receive statistics\n");

        zdp_.pacing().sleep_ms(PHASE_PAUSE_MS);
        per_accumulator.reports = 0;
        progress("\tReceiver - REPORT_STATS... ");
        if (!sent(zdp_.send_report_stats(da_))) return false;
        const bool receiver_reported = await_ack(zdp_, STATISTICS_TIMEOUT_MS, 100, &reply, &length) == 0;
        if (!receiver_reported && stop_requested()) return false;
        if (receiver_reported) {
            std::printf("\n");
            uint32_t received = 0;
            const bool have_count = first_counter(reply, length, &received);
            print_statistics(reply, length, da_);
            print_pair_per(have_transmitted && have_count, 1.0 - received * inverse);
        } else {
            std::printf("ERROR: failed to receive \tFAILED\n");
        }
        return true;
    }

    bool disable_both() {
        zdp_.pacing().sleep_ms(PHASE_PAUSE_MS);
        progress("\tTransmitter - DISABLE_CERT... ");
        if (!sent(zdp_.send_disable_cert(sa_))) return false;
        if (!acknowledged("\n\tFailed to receive ACK when disabling_cert.\n")) return !stop_requested();
        progress("\n\tReceiver    - DISABLE_CERT... ");
        if (!sent(zdp_.send_disable_cert(da_))) return false;
        acknowledged("\n\tFailed to receive ACK when disabling_cert. \n");
        return true;
    }

    ZdpClient& zdp_;
    TestParameters& parameters_;
    const uint8_t* sa_;
    const uint8_t* da_;
    std::string* failure_ = nullptr;
};

}  // namespace

std::string test_network_command(EthernetLink& link, ZdpClient& zdp, std::FILE* script, const char* argument) {
    if (debug_level >= 2) std::printf("TEST_NETWORK command started :\n");
    uint8_t node[6] = {};
    int timeout_ms = 0;
    parse_node_argument(argument, node, &timeout_ms);
    std::vector<MacAddress> stations = read_station_list(link, node);

    TestParameters parameters;
    if (!read_network_block(script, parameters)) return missing_end_line_text("TEST_NETWORK_END");

    for (size_t i = 0; i < stations.size(); ++i) {
        for (size_t j = 0; j < stations.size(); ++j) {
            if (i == j) continue;
            if (stop_requested()) return "";
            // Each pair needs one further entry in both transfer tables.
            if (send_transfers.full() || receive_transfers.full()) return TRANSFER_TABLE_FULL_TEXT;
            std::string failure;
            PairTest pair(zdp, parameters, stations[i].data(), stations[j].data());
            if (pair.run(&failure) == PairOutcome::stop) return failure;
        }
    }
    return "";
}
