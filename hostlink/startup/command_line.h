#pragma once

#include <cstdint>
#include <optional>

// Size of the script and firmware path buffers, terminator included.
constexpr int PATH_BUFFER_SIZE = 260;

// What the command line asks of this run, besides the process-wide settings.
struct StartupOptions {
    bool full_mac = false;
    bool mac_suffix = false;
    bool script_mode = false;
    bool wait_mode = false;
    bool firmware_mode = false;
    uint8_t interface_address[4] = {0, 0, 0, 0};  // network order; all zero = not given
    char script_path[PATH_BUFFER_SIZE] = "";
    char firmware_path[PATH_BUFFER_SIZE] = "";
};

// Reads the options into `options` and the start-up settings, and checks the
// device address rule and the address rule of the unattended modes. Returns
// the process status when the run ends here (usage, version, bad value),
// nothing when start-up goes on.
std::optional<int> read_command_line(int argc, char* const* argv, StartupOptions& options);

// Parsers of the option values; false for text that is refused.
bool parse_full_mac(const char* text, uint8_t mac[6]);
bool parse_mac_suffix(const char* text, uint8_t* octet);
bool parse_ipv4(const char* text, uint8_t address[4]);
