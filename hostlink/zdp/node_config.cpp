#include <cstdio>
#include <cstring>

#include "link/zdk_status.h"
#include "settings/settings.h"
#include "script_block.h"
#include "stop/stop_request.h"
#include "zdp_ack.h"
#include "zdp_client.h"
#include "zdp_commands.h"

namespace {

struct NodeParameter {
    const char* keyword;
    const char* label;   // printed with the value at debug level 2 or more
};

// In the order of the slots handed to send_config_node.
constexpr NodeParameter node_parameters[ZDP_NODE_SETTING_COUNT] = {
    {"txpe", "   sending TXPE segment : %i"},
    {"txpri", "   sending TXPRI segment : %i"},
    {"linkint", "   sending LINKINT segment : %i"},
    {"txmode", "   sending TXMODE segment : %i"},
    {"hpnamode", "   sending HPNAMODE segment : %i"},
    {"larq", "   sending LARQ segment : %i"},
    {"csa", "   sending CSA segment : %i"},
    {"csahpnamode", "   sending CSAHPNA segment : %i"},
};

int find_parameter(const char* keyword) {
    for (int i = 0; i < ZDP_NODE_SETTING_COUNT; ++i) {
        if (std::strcmp(node_parameters[i].keyword, keyword) == 0) return i;
    }
    return -1;
}

// One parameter line: one CONFIGNODE request, acknowledged before the next line.
std::string send_node_parameter(ZdpClient& zdp, const uint8_t node[6], int slot, uint16_t value, int timeout_ms) {
    uint16_t settings[ZDP_NODE_SETTING_COUNT];
    for (uint16_t& setting : settings) setting = ZDP_SLOT_NOT_SET;
    settings[slot] = value;
    if (debug_level >= 2) std::printf(node_parameters[slot].label, static_cast<int>(value));
    if (zdp.send_config_node(node, settings) != ZDK_SUCCESS) return "failure at ConfigNode command\n";
    if (await_ack(zdp, timeout_ms, 50) != 0) return " Failed to receive ACK\n";
    if (debug_level >= 2) std::printf(" OK\n");
    return "";
}

}  // namespace

std::string config_node_command(ZdpClient& zdp, std::FILE* script, const char* argument) {
    static const char* const end_word = "CONFIG_NODE_END";
    if (debug_level >= 2) std::printf("CONFIG_NODE command started :\n");
    uint8_t node[6] = {};
    int timeout_ms = 0;
    parse_node_argument(argument, node, &timeout_ms);

    ScriptBlock block(script, "=\n\r ");
    for (;;) {
        const char* keyword = block.next_keyword();
        if (keyword == nullptr) return missing_end_line_text(end_word);
        if (std::strcmp(keyword, end_word) == 0) return "";
        int slot = find_parameter(keyword);
        if (slot < 0) {
            std::printf("Parsing Error :unknown parameter : %s\n", keyword);
            continue;
        }
        std::string result = send_node_parameter(zdp, node, slot, static_cast<uint16_t>(block.number()), timeout_ms);
        if (result.empty()) continue;
        // A stop ends the block at the line it cut short.
        if (stop_on_failure || stop_requested()) return result;
        std::printf("Failure - %s", result.c_str());
    }
}
