#include "command_line.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "c_number.h"
#include "option_scanner.h"
#include "settings/settings.h"
#include "startup_texts.h"

namespace {

constexpr const char* OPTION_STRING = "l:i:m:s:a:M:d:qhwvc";
constexpr int STATUS_USAGE = 1;
constexpr int STATUS_BAD_VALUE = -1;
constexpr int STATUS_NO_ADDRESS = -2;
constexpr size_t MAX_MAC_TEXT = 17;
constexpr size_t MAX_SUFFIX_TEXT = 4;
constexpr int MAX_DEBUG_LEVEL = 3;

int usage(const char* program_name) {
    print_usage(program_name);
    return STATUS_USAGE;
}

bool copy_path(const char* text, char* buffer, const char* what) {
    if (std::strlen(text) >= PATH_BUFFER_SIZE) {
        std::printf("ERROR: %s path longer than %d characters\n", what, PATH_BUFFER_SIZE - 1);
        return false;
    }
    std::strcpy(buffer, text);
    return true;
}

}  // namespace

// Each of the six groups is read on its own: reading at fixed character
// positions would run past the end of a text with one-digit groups.
bool parse_full_mac(const char* text, uint8_t mac[6]) {
    if (std::strlen(text) > MAX_MAC_TEXT) return false;
    uint8_t octets[6];
    int group = 0;
    const char* p = text;
    for (;;) {
        int digits = 0;
        unsigned value = 0;
        while (std::isxdigit(static_cast<unsigned char>(*p))) {
            const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(*p)));
            value = value * 16 + static_cast<unsigned>(c <= '9' ? c - '0' : c - 'a' + 10);
            ++digits;
            ++p;
        }
        if (digits == 0 || digits > 2 || group == 6) return false;
        octets[group++] = static_cast<uint8_t>(value);
        if (*p == '\0') break;
        if (*p != ':' && *p != '-') return false;
        ++p;
    }
    if (group != 6) return false;
    std::memcpy(mac, octets, 6);
    return true;
}

bool parse_mac_suffix(const char* text, uint8_t* octet) {
    if (std::strlen(text) > MAX_SUFFIX_TEXT) return false;
    *octet = static_cast<uint8_t>(read_c_number(text));
    return true;
}

bool parse_ipv4(const char* text, uint8_t address[4]) {
    const char* p = text;
    for (int field = 0; field < 4; ++field) {
        if (field > 0) {
            if (*p != '.') return false;
            ++p;
        }
        const char* end = p;
        const int32_t value = read_number_base(p, 10, &end);
        if (end == p) return false;
        address[field] = static_cast<uint8_t>(value);
        p = end;
    }
    return true;
}

std::optional<int> read_command_line(int argc, char* const* argv, StartupOptions& options) {
    const char* program_name = argc > 0 && argv[0] != nullptr ? argv[0] : "hostlink";
    OptionScanner scanner(argc, argv, OPTION_STRING);
    for (int letter = scanner.next(); letter != OptionScanner::end; letter = scanner.next()) {
        const char* argument = scanner.argument();
        switch (letter) {
        case 'M':
            if (!parse_full_mac(argument, device_mac)) {
                std::printf("ERROR: invalid MAC address %s\n", argument);
                return STATUS_BAD_VALUE;
            }
            options.full_mac = true;
            break;
        case 'm':
            if (!parse_mac_suffix(argument, &device_mac[5])) {
                std::printf("ERROR: invalid mac suffix, enter a number (HEX/DEC) between 0-255\n");
                return STATUS_BAD_VALUE;
            }
            options.mac_suffix = true;
            break;
        case 'a':
            if (!parse_ipv4(argument, options.interface_address)) {
                std::printf("ERROR: invalid IP address %s\n", argument);
                return STATUS_BAD_VALUE;
            }
            break;
        case 's':
            if (!copy_path(argument, options.script_path, "script")) return STATUS_BAD_VALUE;
            options.script_mode = true;
            break;
        case 'l':
            if (!copy_path(argument, options.firmware_path, "firmware")) return STATUS_BAD_VALUE;
            options.firmware_mode = true;
            break;
        case 'w':
            options.wait_mode = true;
            break;
        case 'd': {
            const int32_t level = read_number_base(argument, 10);
            if (level < 0 || level > MAX_DEBUG_LEVEL) {
                std::printf("ERROR: invalid debug level\n");
                return usage(program_name);
            }
            debug_level = level;
            break;
        }
        case 'c':
            cert_verbose = 1;
            break;
        case 'q':
            stop_on_failure = 1;
            cert_verbose = 1;
            break;
        case 'i':
            break;
        case 'v':
            print_version();
            return 0;
        default:  // -h, an unknown letter, a missing argument
            return usage(program_name);
        }
    }

    if (options.full_mac == options.mac_suffix) {
        std::printf("You must supply device address (full -M or suffix -m)\n");
        return usage(program_name);
    }
    static const uint8_t not_given[4] = {0, 0, 0, 0};
    if ((options.script_mode || options.wait_mode) && std::memcmp(options.interface_address, not_given, 4) == 0) {
        std::printf("When using auto options (-s or -w) you must supply ipaddress\n");
        return STATUS_NO_ADDRESS;
    }
    return std::nullopt;
}
