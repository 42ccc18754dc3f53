#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "link/ethernet_link.h"
#include "settings/settings.h"
#include "script_block.h"
#include "statistics.h"
#include "stop/stop_request.h"
#include "token_reader.h"
#include "transfer_tables.h"
#include "zdp_ack.h"
#include "zdp_client.h"
#include "zdp_commands.h"

namespace {

constexpr int LATER_ACK_TIMEOUT_MS = 2000;

// An address value in a block: the rest of the line, which may still begin
// with the blanks and '=' that separated it from its keyword.
void parse_address_value(const char* rest, uint8_t address[6], int* timeout_ms) {
    while (*rest == ' ' || *rest == '=' || *rest == '\t') ++rest;
    parse_node_argument(rest, address, timeout_ms);
}

[[noreturn]] void end_program(int status) {
    std::fflush(stdout);
    std::exit(status);
}

bool txpe_allowed(uint8_t pe) {
    struct Range { int low, high; };
    static constexpr Range allowed[] = {{0, 7}, {9, 15}, {33, 39}, {41, 47}, {49, 55}, {57, 63}, {255, 255}};
    for (const Range& range : allowed) {
        if (pe >= range.low && pe <= range.high) return true;
    }
    return false;
}

// The common pattern: send, then the acknowledgement loop with the command's time-out.
std::string acknowledged_request(ZdpClient& zdp, ZdkStatus sent, int timeout_ms, const char* not_acknowledged,
                                 const char* success_message) {
    if (sent != ZDK_SUCCESS) return status_text(sent);
    if (await_ack(zdp, timeout_ms, 50) != 0) return not_acknowledged;
    if (debug_level >= 2) std::printf("%s", success_message);
    return "";
}

// Reads the CONFIG_SEND block into the record; value checks end the program.
bool read_send_block(std::FILE* script, ZdpSendConfig& config, int* timeout_ms) {
    ScriptBlock block(script, "=\n\r ");
    for (;;) {
        const char* keyword = block.next_keyword();
        if (keyword == nullptr) return false;
        if (std::strcmp(keyword, "CONFIG_SEND_END") == 0) return true;
        if (std::strcmp(keyword, "SA") == 0) {
            parse_address_value(block.rest(), config.sa, timeout_ms);
        } else if (std::strcmp(keyword, "DA") == 0) {
            parse_address_value(block.rest(), config.destinations[0], timeout_ms);
        } else if (std::strcmp(keyword, "burst_int") == 0) {
            config.burst_int = static_cast<uint16_t>(block.number());
        } else if (std::strcmp(keyword, "burst_npkts") == 0) {
            config.burst_npkts = static_cast<uint16_t>(block.number());
        } else if (std::strcmp(keyword, "destinations") == 0) {
            block.number();
        } else if (std::strcmp(keyword, "dgen_data") == 0) {
            config.dgen_data = static_cast<uint32_t>(block.number());
        } else if (std::strcmp(keyword, "dgen_type") == 0) {
            config.dgen_type = static_cast<uint8_t>(block.number());
            if (config.dgen_type != 1 && config.dgen_type != 2) {
                std::printf("ERROR: Invalid data generator type %d (choose 1 or 2)\n", config.dgen_type);
                end_program(-1);
            }
        } else if (std::strcmp(keyword, "length") == 0) {
            config.length = static_cast<uint16_t>(block.number());
            if (config.length > 1482) {
                std::printf("ERROR: Invalid length value %d (supported:0-1482)\n", config.length);
                end_program(-1);
            }
        } else if (std::strcmp(keyword, "npkts") == 0) {
            config.npkts = static_cast<uint32_t>(block.number());
        } else if (std::strcmp(keyword, "numacks") == 0) {
            config.numacks = static_cast<uint8_t>(block.number());
        } else if (std::strcmp(keyword, "txpe_test") == 0) {
            config.txpe_test = static_cast<uint8_t>(block.number());
            if (!txpe_allowed(config.txpe_test)) {
                std::printf("ERROR: invalid PE: %d\n", config.txpe_test);
                end_program(-1);
            }
        } else if (std::strcmp(keyword, "txpri_test") == 0) {
            config.txpri_test = static_cast<uint8_t>(block.number());
            if (config.txpri_test >= 8 && config.txpri_test <= 254) {
                std::printf("ERROR: Invalid priority %d\n", config.txpri_test);
                end_program(-1);
            }
        } else {
            std::printf("Parsing Error :unknown parameter : %s\n", keyword);
        }
    }
}

bool read_receive_block(std::FILE* script, ZdpRecvConfig& config, int* timeout_ms) {
    ScriptBlock block(script, "=\n\r ");
    for (;;) {
        const char* keyword = block.next_keyword();
        if (keyword == nullptr) return false;
        if (std::strcmp(keyword, "CONFIG_RECEIVE_END") == 0) return true;
        if (std::strcmp(keyword, "SA") == 0) {
            parse_address_value(block.rest(), config.sa, timeout_ms);
        } else if (std::strcmp(keyword, "DA") == 0) {
            parse_address_value(block.rest(), config.destinations[0], timeout_ms);
        } else if (std::strcmp(keyword, "destinations") == 0) {
            block.number();
        } else if (std::strcmp(keyword, "dgen_data") == 0) {
            config.dgen_data = static_cast<uint32_t>(block.number());
        } else if (std::strcmp(keyword, "dgen_type") == 0) {
            config.dgen_type = static_cast<uint8_t>(block.number());
        } else if (std::strcmp(keyword, "length") == 0) {
            config.length = static_cast<uint16_t>(block.number());
        } else {
            std::printf("Parsing Error :unknown parameter : %s\n", keyword);
        }
    }
}

// The two acknowledgement phases of START_SEND. A q key offers to continue
// (START_SEND ends with success) or abort (the program ends). A stop asked
// for by a signal ends START_SEND at once, with nothing more printed.
class StartSendWait {
public:
    StartSendWait(ZdpClient& zdp, unsigned expected) : zdp_(zdp), expected_(expected) {}

    // false when the user chose to continue or a stop came: START_SEND ends at once.
    bool before_test(int timeout_ms) {
        if (debug_level >= 2) std::printf("\n    Waiting for %u ACKS prior to test start:\n", expected_);
        bool any = false;
        for (unsigned k = 1; k <= expected_; ++k) {
            bool acknowledged = false;
            if (!await_one(timeout_ms, true, 0, &acknowledged) || stop_requested()) return false;
            if (acknowledged) {
                if (debug_level >= 2) std::printf("     Received ACK %u of %u \n", k, expected_);
                timeout_ms = LATER_ACK_TIMEOUT_MS;
                any = true;
            } else {
                std::printf("missed ack!\n");
            }
        }
        if (!any && expected_ > 0 && debug_level >= 2) {
            std::printf("     Failed to receive ACK %u of %u\n", expected_, expected_);
        }
        return true;
    }

    bool after_test() {
        int timeout_ms = -LATER_ACK_TIMEOUT_MS;
        if (debug_level >= 2) {
            std::printf("Test in progress...\n");
            std::printf("    Waiting for %u ACKS after to test is done:\n", expected_);
        }
        bool any = false;
        bool last_came = true;
        unsigned last_missed = 0;
        for (unsigned k = 1; k <= expected_; ++k) {
            bool acknowledged = false;
            if (!await_one(timeout_ms, false, -99, &acknowledged) || stop_requested()) return false;
            last_came = acknowledged;
            if (acknowledged) {
                if (debug_level >= 2) std::printf("     Received ACK %u of %u \n", k, expected_);
                timeout_ms = LATER_ACK_TIMEOUT_MS;
                any = true;
            } else {
                last_missed = k;
                if (!any) std::printf("missed ack!\n");
            }
        }
        if (debug_level >= 2) {
            if (!last_came) std::printf("     Failed to receive ACK %u of %u\n", last_missed, expected_);
            std::printf("\n");
        }
        return true;
    }

private:
    // false when the user chose to continue.
    bool await_one(int timeout_ms, bool dots, int abort_status, bool* acknowledged) {
        bool continue_chosen = false;
        auto idle = [&]() {
            if (dots) {
                std::printf(".");
                std::fflush(stdout);
            }
            if (keyboard_break(abort_status)) {
                continue_chosen = true;
                return false;
            }
            return true;
        };
        *acknowledged = await_ack(zdp_, timeout_ms, 50, nullptr, nullptr, idle) == 0;
        return !continue_chosen;
    }

    // true when the user broke off with q and chose to continue.
    bool keyboard_break(int abort_status) {
        ZdpPacing& pacing = zdp_.pacing();
        if (!pacing.key_waiting() || pacing.read_key() != 'q') return false;
        std::printf("Break by keystroke\n");
        std::printf("Continue or Abort? (c|a)\n");
        std::fflush(stdout);
        for (;;) {
            int key = pacing.read_key();
            // End of input is taken as leaving, like a.
            if (key == 'a' || key < 0) end_program(abort_status);
            if (key == 'c') return true;
            if (key == 0) return false;
        }
    }

    ZdpClient& zdp_;
    unsigned expected_;
};

}  // namespace

std::string config_send_command(ZdpClient& zdp, std::FILE* script, const char* argument, uint32_t* ack_count) {
    if (debug_level >= 2) std::printf("CONFIG_SEND command started :");
    ZdpSendConfig config;
    uint8_t node[6] = {};
    int timeout_ms = 0;
    parse_node_argument(argument, node, &timeout_ms);
    if (!read_send_block(script, config, &timeout_ms)) return missing_end_line_text("CONFIG_SEND_END");

    if (ack_count != nullptr) *ack_count = config.numacks;
    if (send_transfers.full()) return TRANSFER_TABLE_FULL_TEXT;
    config.destination_count = 1;
    ZdkStatus sent = zdp.send_config_send(node, config);
    if (sent != ZDK_SUCCESS) return status_text(sent);
    send_transfers.add(config.sa, config.transfer_id);
    return acknowledged_request(zdp, ZDK_SUCCESS, timeout_ms, " Failed to receive ACK \n", " OK\n");
}

std::string config_receive_command(ZdpClient& zdp, std::FILE* script, const char* argument) {
    if (debug_level >= 2) std::printf("CONFIG_RECEIVE command started :");
    ZdpRecvConfig config;
    uint8_t node[6] = {};
    int timeout_ms = 0;
    parse_node_argument(argument, node, &timeout_ms);
    if (!read_receive_block(script, config, &timeout_ms)) return missing_end_line_text("CONFIG_RECEIVE_END");

    if (receive_transfers.full()) return TRANSFER_TABLE_FULL_TEXT;
    config.destination_count = 1;
    ZdkStatus sent = zdp.send_config_recv(node, config);
    if (sent != ZDK_SUCCESS) return status_text(sent);
    receive_transfers.add(config.destinations[0], config.transfer_id);
    return acknowledged_request(zdp, ZDK_SUCCESS, timeout_ms, " Failed to receive ACK \n", " OK \n");
}

std::string start_send_command(ZdpClient& zdp, const char* argument, uint32_t ack_count) {
    if (debug_level >= 2) std::printf("\nSTART SEND command started :");
    reset_per_accumulator();
    uint8_t node[6] = {};
    int timeout_ms = 0;
    parse_node_argument(argument, node, &timeout_ms);
    int entry = send_transfers.find(node);
    if (entry < 0) return "failure : MAC address not recognised\n";
    uint16_t id = send_transfers.entries[entry].transfer_id;
    ZdkStatus sent = zdp.send_start_send(node, &id, 1);
    if (sent != ZDK_SUCCESS) return status_text(sent);

    StartSendWait wait(zdp, ack_count);
    if (!wait.before_test(timeout_ms)) return "";
    wait.after_test();
    return "";
}

std::string stop_send_command(ZdpClient& zdp, const char* argument) {
    if (debug_level >= 2) std::printf("STOP_SEND command started :");
    uint8_t node[6] = {};
    int timeout_ms = 0;
    parse_node_argument(argument, node, &timeout_ms);
    int entry = send_transfers.find(node);
    if (entry < 0) return "failure : SA not recognised\n";
    uint16_t id = send_transfers.entries[entry].transfer_id;
    return acknowledged_request(zdp, zdp.send_stop_send(node, &id, 1), timeout_ms, " Failed to receive ACK\n",
                                " OK\n");
}

std::string enable_cert_command(ZdpClient& zdp, const char* argument) {
    if (debug_level >= 2) std::printf("ENABLE CERT command started :");
    uint8_t node[6] = {};
    int timeout_ms = 0;
    parse_node_argument(argument, node, &timeout_ms);
    return acknowledged_request(zdp, zdp.send_enable_cert(node), timeout_ms, " Failed to receive ACK \n", " OK\n");
}

std::string disable_cert_command(ZdpClient& zdp, const char* argument) {
    if (debug_level >= 2) std::printf("DISABLE_CERT command started :");
    uint8_t node[6] = {};
    int timeout_ms = 0;
    parse_node_argument(argument, node, &timeout_ms);
    return acknowledged_request(zdp, zdp.send_disable_cert(node), timeout_ms, " Failed to receive ACK \n", " OK\n");
}

std::string play_file_command(ZdpClient& zdp, const char* argument) {
    TokenReader tokens(argument);
    tokens.next(", \t");
    const char* path = tokens.next(", \r\n\t");
    if (path != nullptr && zdp.link() != nullptr) zdp.link()->replay_file(path);
    return "";
}
