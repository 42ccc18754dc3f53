#include <cstdio>
#include <cstring>
#include <string>

#include "c_number.h"
#include "hostif/host_interface.h"
#include "script_commands.h"
#include "settings/settings.h"
#include "stop/stop_request.h"

namespace {

constexpr uint32_t VERSION_ADDRESS = 0x827E;
constexpr int DEFAULT_FIND_WINDOW_MS = 500;
constexpr int MAX_FIND_WINDOW_MS = 10000;

// The window of FIND_DEVICES in C notation, as SLEEP reads its field; only
// blanks may follow the number. An empty field or 0 is the default window;
// -1 when the field holds no window of 0 to MAX_FIND_WINDOW_MS.
int find_window_ms(const char* field) {
    const char* end = nullptr;
    const int32_t ms = read_c_number(field, &end);
    const char* rest = end + std::strspn(end, " \t\r\n");
    if (*rest != '\0') return -1;
    if (end == field) return DEFAULT_FIND_WINDOW_MS;  // blanks only
    if (ms < 0 || ms > MAX_FIND_WINDOW_MS) return -1;
    return ms == 0 ? DEFAULT_FIND_WINDOW_MS : ms;
}

}  // namespace

LineEnd nested_script_line(ScriptRun& run, const ScriptLine& line) {
    const char* field = next_field(line.arguments);
    std::string name = field ? name_after_blanks(field) : std::string();
    if (name.empty()) return format_error(run, line);
    if (run.depth + 1 > MAX_SCRIPT_DEPTH) {
        std::printf("ERROR: scripts nested deeper than %d levels at line #%d: \"%s\", aborting...\n",
                    MAX_SCRIPT_DEPTH, run.command_count, line.text);
        return LineEnd::failure_stop;
    }
    // The nested run prints its own messages.
    if (run_nested_script(run, name.c_str()) < 0) return LineEnd::failure_stop;
    return LineEnd::go_on;
}

LineEnd plain_activate_line(ScriptRun& run, const ScriptLine&) {
    send_activate(run.link);
    return LineEnd::go_on;
}

LineEnd sleep_line(ScriptRun& run, const ScriptLine& line) {
    if (!run.operations.sleep_ms) return not_built_yet(run, line);
    // The address field was already checked to be a hex number, so no sign
    // can reach the C-notation reading here.
    int32_t milliseconds = read_c_number(line.arguments);
    if (milliseconds > 0) run.operations.sleep_ms(static_cast<uint32_t>(milliseconds));
    return LineEnd::go_on;
}

LineEnd print_line(ScriptRun& run, const ScriptLine& line) {
    const char* field = next_field(line.arguments);
    if (!field) {
        std::printf("ERROR: failed to execute PRINT, line #%d\n", run.command_count);
        return LineEnd::go_on;
    }
    std::printf("%s\n", name_as_written(field).c_str());
    return LineEnd::go_on;
}

LineEnd reset_line(ScriptRun& run, const ScriptLine& line) {
    reset_device(run.link, static_cast<int>(line.address));
    return LineEnd::go_on;
}

LineEnd activate_line(ScriptRun& run, const ScriptLine&) {
    activate_device(run.link);
    return LineEnd::go_on;
}

LineEnd query_status_line(ScriptRun& run, const ScriptLine&) {
    uint32_t link_status = 0;
    uint32_t network_mode = 0;
    if (query_status(run.link, &link_status, &network_mode) == 0) {
        std::printf("ERROR: Failed to query device status\n");
        return LineEnd::go_on;
    }
    std::printf("link %d\n", static_cast<int>(link_status));
    std::printf("network mode %d\n", static_cast<int>(network_mode));
    return LineEnd::go_on;
}

LineEnd query_mac_line(ScriptRun& run, const ScriptLine&) {
    uint8_t mac[6] = {};
    if (query_device_mac(run.link, mac) == 0) {
        if (debug_level >= 1) std::printf("ERROR: Failed to query MAC\n");
        return LineEnd::failure_go_on;
    }
    std::printf("%02x:%02x:%02x:%02x:%02x:%02x\n", mac[0], mac[1], mac[2], mac[3], mac[4], mac[5]);
    return LineEnd::go_on;
}

LineEnd get_version_line(ScriptRun& run, const ScriptLine&) {
    uint32_t word = 0;
    if (read_word(run.link, VERSION_ADDRESS, &word) != 0) {
        std::printf("ERROR failed to query version\n");
        return LineEnd::go_on;
    }
    unsigned v = word & 0xFFFF;
    std::printf("%d.%d.%d\n", static_cast<int>(v >> 10), static_cast<int>((v >> 4) & 63), static_cast<int>(v & 15));
    return LineEnd::go_on;
}

LineEnd find_devices_line(ScriptRun& run, const ScriptLine& line) {
    const int window_ms = find_window_ms(line.arguments);
    if (window_ms < 0) {
        std::printf("ERROR: bad window at line #%d: \"%s\", aborting...\n", run.command_count, line.text);
        return LineEnd::failure_stop;
    }
    const DeviceSearch search = find_devices(run.link, window_ms);
    // A window a stop cut short is no complete search: nothing is listed.
    if (stop_requested()) return LineEnd::stop;
    // A query that never went out measured nothing: its message is all.
    if (!search.sent) return LineEnd::failure_go_on;
    for (const FoundMac& mac : search.devices)
        std::printf("device %02x:%02x:%02x:%02x:%02x:%02x\n", mac[0], mac[1], mac[2], mac[3], mac[4], mac[5]);
    if (search.overflow)
        std::printf("ERROR: more than %d devices answered; only the first %d are listed\n",
                    static_cast<int>(MAX_FOUND_DEVICES), static_cast<int>(MAX_FOUND_DEVICES));
    std::printf("found %d device(s)\n", static_cast<int>(search.devices.size()));
    if (search.devices.empty() || !search.filter_restored) return LineEnd::failure_go_on;
    return LineEnd::go_on;
}
