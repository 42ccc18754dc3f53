#include <cstdio>

#include "settings/settings.h"
#include "statistics.h"
#include "zdp_ack.h"
#include "zdp_client.h"
#include "zdp_commands.h"

namespace {

using StatisticsRequest = ZdkStatus (ZdpClient::*)(const uint8_t node[6]);

// Sends the request and prints the node's statistics reply once it comes.
std::string request_statistics(ZdpClient& zdp, const char* argument, StatisticsRequest request, int sleep_ms) {
    uint8_t node[6] = {};
    int timeout_ms = 0;
    parse_node_argument(argument, node, &timeout_ms);
    ZdkStatus sent = (zdp.*request)(node);
    if (sent != ZDK_SUCCESS) return status_text(sent);
    const uint8_t* reply = nullptr;
    int length = 0;
    if (await_ack(zdp, timeout_ms, sleep_ms, &reply, &length) != 0) return " Failed to receive ACK \n";
    print_statistics(reply, length, node);
    return "";
}

}  // namespace

std::string report_stats_command(ZdpClient& zdp, const char* argument) {
    if (debug_level >= 2) std::printf("\nREPORT_STATS command started -");
    return request_statistics(zdp, argument, &ZdpClient::send_report_stats, 100);
}

std::string reset_stats_command(ZdpClient& zdp, const char* argument) {
    if (debug_level >= 2) std::printf("RESET_STATS command started :");
    return request_statistics(zdp, argument, &ZdpClient::send_reset_stats, 50);
}
