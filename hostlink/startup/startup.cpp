#include "startup.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "capture_diagnosis.h"
#include "command_line.h"
#include "hostif/firmware.h"
#include "hostif/host_interface.h"
#include "interface_selection.h"
#include "link/ethernet_link.h"
#include "script/menu.h"
#include "script/script.h"
#include "settings/settings.h"
#include "startup_texts.h"
#include "stop/stop_request.h"
#include "zdp/transfer_tables.h"
#include "zdp/zdp_client.h"

namespace {

constexpr int WAIT_FOR_SCRIPT_ENTRY = 2;
constexpr int NO_PRESET = -1;

constexpr int STATUS_INIT_FAILED = -3;
constexpr int STATUS_NO_MATCHING_INTERFACE = -4;
constexpr int STATUS_FILTER_FAILED = -5;
constexpr int STATUS_ZDP_FAILED = -6;
constexpr int STATUS_FIRMWARE_FAILED = -12;
constexpr int STATUS_SCRIPT_FAILED = -77;

const uint8_t DEFAULT_DEVICE_MAC[6] = {0x0A, 0x3F, 0x71, 0x00, 0x00, 0x01};

// A run starts from the initial settings and empty transfer tables, even when
// it is not the process's first.
void reset_settings() {
    reset_transfer_tables();
    std::memcpy(device_mac, DEFAULT_DEVICE_MAC, 6);
    std::memset(pc_mac, 0, 6);
    debug_level = 0;
    cert_verbose = 0;
    stop_on_failure = 0;
}

ZdkStatus install_device_filter(EthernetLink& link) {
    char filter[160];
    format_device_filter(filter, sizeof filter);
    return link.set_filter(filter);
}

// A mode cut short by a stop has not failed: its failure line is left out
// (the run ends with the stop's own line and status).
int run_mode(const StartupOptions& options, EthernetLink& link, ZdpClient& zdp) {
    if (options.firmware_mode) {
        if (download_firmware(link, options.firmware_path, 0) == 0) {
            if (!stop_requested()) std::printf("ERROR - failed to download firmware\n");
            return STATUS_FIRMWARE_FAILED;
        }
        return 0;
    }
    if (options.script_mode) {
        if (run_script(link, zdp, options.script_path) < 0) {
            if (debug_level >= 1 && !stop_requested())
                std::printf("ERROR: Failed to run script file %s\n", options.script_path);
            return STATUS_SCRIPT_FAILED;
        }
        return 0;
    }
    if (options.wait_mode) return run_menu(link, zdp, WAIT_FOR_SCRIPT_ENTRY);
    return run_menu(link, zdp, NO_PRESET);
}

// From interface selection on, every way out closes the link.
int run_on_link(const StartupOptions& options, EthernetLink& link, ZdpClient& zdp, const MacLookup& lookup) {
    static const uint8_t not_given[4] = {0, 0, 0, 0};
    if (std::memcmp(options.interface_address, not_given, 4) != 0) {
        if (!select_interface_by_address(link, options.interface_address, lookup)) {
            std::printf("ERROR: Failed to select Network interface\n");
            return STATUS_NO_MATCHING_INTERFACE;
        }
    } else {
        const int status = select_interface_from_menu(link, NO_PRESET, lookup);
        if (status < 0) return status;
    }
    if (install_device_filter(link) != ZDK_SUCCESS) {
        std::printf("\nERROR - failed to set MAC filters\n");
        report_capture_failure(link);
        return STATUS_FILTER_FAILED;
    }
    std::memcpy(link.local_mac, pc_mac, 6);
    if (zdp.init(&link) != ZDK_SUCCESS) {
        std::printf("ERROR: Failed to initialize ZDP\n");
        return STATUS_ZDP_FAILED;
    }
    return run_mode(options, link, zdp);
}

// What the mode printed is its result (values read, test columns): output
// that could not be written turns a successful mode into the mode's failure.
int check_standard_output(const StartupOptions& options, int status) {
    const bool written = std::fflush(stdout) == 0 && std::ferror(stdout) == 0;
    if (written) return status;
    std::fprintf(stderr, "ERROR: failed to write %s\n", "standard output");
    if (status != 0) return status;
    return options.firmware_mode ? STATUS_FIRMWARE_FAILED : STATUS_SCRIPT_FAILED;
}

// The end of a run a signal stopped: what it printed is written out, one
// line names the signal, and the status is 128 + its number.
int end_stopped_run() {
    std::fflush(stdout);
    const int signal_number = stop_signal();
    std::fprintf(stderr, "hostlink: stopped by %s\n", stop_signal_name(signal_number));
    return 128 + signal_number;
}

}  // namespace

void write_output_by_line() {
    if (!isatty(STDOUT_FILENO)) std::setvbuf(stdout, nullptr, _IOLBF, BUFSIZ);
}

int run_hostlink(int argc, char* const* argv, EthernetLink& link, ZdpClient& zdp, const MacLookup& lookup) {
    reset_settings();
    std::clearerr(stdout);
    StartupOptions options;
    if (const auto status = read_command_line(argc, argv, options)) return *status;

    if (link.initialize() != ZDK_SUCCESS) {
        std::printf("ERROR: Failed to init\n");
        return STATUS_INIT_FAILED;
    }
    if (!options.script_mode) print_banner(device_mac);
    const int status = run_on_link(options, link, zdp, lookup);
    link.close();
    // Whatever the mode made of it, a run a signal stopped ends as stopped.
    if (stop_requested()) return end_stopped_run();
    return check_standard_output(options, status);
}
