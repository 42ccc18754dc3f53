#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

using MacAddress = std::array<uint8_t, 6>;

struct MemoryLoad {
    uint32_t address = 0;
    std::string path;
};

// A span of milliseconds, low <= high, for faults drawn at random from it.
struct MsRange {
    int low = 0;
    int high = 0;
};

struct MemoryDump {
    uint32_t address = 0;
    uint32_t length = 0;
    std::string path;
};

// Device memory whose reads the device never answers.
struct MemoryRange {
    uint32_t address = 0;
    uint32_t length = 0;
};

// Everything the command line can set. Defaults are those of a freshly
// powered device on a quiet bench.
struct DevsimOptions {
    std::string interface;
    MacAddress mac{0x0A, 0x3F, 0x71, 0x00, 0x00, 0x01};

    // Presets.
    uint16_t fw_version = (1 << 10) | (3 << 4) | 2;  // 1.3.2
    uint32_t link_status = 1;
    uint32_t net_mode = 1;
    uint32_t boot_mode = 4;
    int busy_ms = 50;
    int reset_ms = 300;
    bool reply_header_set = false;
    std::array<uint8_t, 9> reply_header{};  // bytes 18-22 then 24-27

    // Files.
    std::vector<MemoryLoad> loads;
    std::vector<MemoryDump> dumps;
    std::string capture_path;

    // Faults.
    uint64_t seed = 1;
    double drop_prob = 0.0;
    long drop_first = 0;
    int delay_ms = 0;
    int query_delay_ms = 0;  // further delay of the answer to the address query
    bool silent = false;
    long short_write = -1;  // -1: writes are reported in full
    // Host-interface replies only.
    MsRange jitter;          // extra delay of each reply, on top of delay_ms
    double dup_prob = 0.0;   // chance that a reply is sent twice
    MsRange dup_lag;         // how long after the reply its copy follows
    int late_first_ms = 0;   // extra delay of the reply to a request that is no repeat
    bool no_echo = false;    // zeros where replies repeat opcode and address
    int stray_zdp_ms = 0;    // 0: none; else a ZDP frame to the PC this often
    std::vector<MemoryRange> unreadable;  // memory reads that touch one get no reply

    // Flash and serial EEPROM behind the programming mailbox.
    std::string flash_path;
    uint32_t flash_size = 1u << 20;
    std::string eeprom_path;
    uint32_t eeprom_size = 2048;
    int erase_ms = 200;
    int program_ms = 20;
    std::vector<uint32_t> prog_fail;

    // Emulated HomePNA stations.
    std::vector<MacAddress> nodes;
    double loss = 0.0;
    int ack_gap_ms = 10;
    double snr_db = 30.0;
    int pe = 7;
    double zdp_drop = 0.0;
    bool zdp_stale = false;
    int zdp_error = -1;  // -1: requests are judged on their merits
    int zdp_late_ms = 0;  // extra delay of every ZDP reply
    bool no_end_acks = false;  // a started test's acknowledgements of its end never come
    int stats_counters = -1;  // -1: full statistics replies; N: N counters, no samples

    // Reply forms a device may use besides devsim's own.
    bool bare_write_replies = false;   // a write reply is the header alone, its length field 12 + n
    bool query_answer_hostif = false;  // the address query's answer carries 80 01 and zeros
};

// Parses the command line. Gives false with a message in `error` on any
// unknown option or unreadable value; `help` is set for -h.
bool parse_options(int argc, char** argv, DevsimOptions& options, std::string& error, bool& help);

// The usage text printed for -h and after a command-line error.
const char* usage_text();

bool parse_mac(const char* text, MacAddress& mac);
std::string format_mac(const MacAddress& mac);
