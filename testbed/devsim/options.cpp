#include "options.h"

#include <getopt.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

enum LongOnly {
    opt_fw_version = 1000,
    opt_link,
    opt_net_mode,
    opt_boot_mode,
    opt_busy_ms,
    opt_reset_ms,
    opt_reply_header,
    opt_load,
    opt_dump,
    opt_capture,
    opt_seed,
    opt_drop_prob,
    opt_drop_first,
    opt_delay_ms,
    opt_query_delay_ms,
    opt_silent,
    opt_short_write,
    opt_unreadable,
    opt_flash,
    opt_flash_size,
    opt_eeprom,
    opt_eeprom_size,
    opt_erase_ms,
    opt_program_ms,
    opt_prog_fail,
    opt_node,
    opt_loss,
    opt_ack_gap_ms,
    opt_snr,
    opt_pe,
    opt_zdp_drop,
    opt_zdp_stale,
    opt_zdp_error,
    opt_stats_counters,
    opt_zdp_late,
    opt_no_end_acks,
    opt_jitter_ms,
    opt_dup_prob,
    opt_dup_lag,
    opt_late_first_ms,
    opt_no_echo,
    opt_stray_zdp_ms,
    opt_bare_write_replies,
    opt_query_answer_hostif,
};

const option long_options[] = {
    {"interface", required_argument, nullptr, 'i'},
    {"mac", required_argument, nullptr, 'M'},
    {"help", no_argument, nullptr, 'h'},
    {"fw-version", required_argument, nullptr, opt_fw_version},
    {"link", required_argument, nullptr, opt_link},
    {"net-mode", required_argument, nullptr, opt_net_mode},
    {"boot-mode", required_argument, nullptr, opt_boot_mode},
    {"busy-ms", required_argument, nullptr, opt_busy_ms},
    {"reset-ms", required_argument, nullptr, opt_reset_ms},
    {"reply-header", required_argument, nullptr, opt_reply_header},
    {"load", required_argument, nullptr, opt_load},
    {"dump", required_argument, nullptr, opt_dump},
    {"capture", required_argument, nullptr, opt_capture},
    {"seed", required_argument, nullptr, opt_seed},
    {"drop-prob", required_argument, nullptr, opt_drop_prob},
    {"drop-first", required_argument, nullptr, opt_drop_first},
    {"delay-ms", required_argument, nullptr, opt_delay_ms},
    {"query-delay-ms", required_argument, nullptr, opt_query_delay_ms},
    {"silent", no_argument, nullptr, opt_silent},
    {"short-write", required_argument, nullptr, opt_short_write},
    {"unreadable", required_argument, nullptr, opt_unreadable},
    {"flash", required_argument, nullptr, opt_flash},
    {"flash-size", required_argument, nullptr, opt_flash_size},
    {"eeprom", required_argument, nullptr, opt_eeprom},
    {"eeprom-size", required_argument, nullptr, opt_eeprom_size},
    {"erase-ms", required_argument, nullptr, opt_erase_ms},
    {"program-ms", required_argument, nullptr, opt_program_ms},
    {"prog-fail", required_argument, nullptr, opt_prog_fail},
    {"node", required_argument, nullptr, opt_node},
    {"loss", required_argument, nullptr, opt_loss},
    {"ack-gap-ms", required_argument, nullptr, opt_ack_gap_ms},
    {"snr", required_argument, nullptr, opt_snr},
    {"pe", required_argument, nullptr, opt_pe},
    {"zdp-drop", required_argument, nullptr, opt_zdp_drop},
    {"zdp-stale", no_argument, nullptr, opt_zdp_stale},
    {"zdp-error", required_argument, nullptr, opt_zdp_error},
    {"stats-counters", required_argument, nullptr, opt_stats_counters},
    {"zdp-late", required_argument, nullptr, opt_zdp_late},
    {"no-end-acks", no_argument, nullptr, opt_no_end_acks},
    {"jitter-ms", required_argument, nullptr, opt_jitter_ms},
    {"dup-prob", required_argument, nullptr, opt_dup_prob},
    {"dup-lag", required_argument, nullptr, opt_dup_lag},
    {"late-first-ms", required_argument, nullptr, opt_late_first_ms},
    {"no-echo", no_argument, nullptr, opt_no_echo},
    {"stray-zdp-ms", required_argument, nullptr, opt_stray_zdp_ms},
    {"bare-write-replies", no_argument, nullptr, opt_bare_write_replies},
    {"query-answer-hostif", no_argument, nullptr, opt_query_answer_hostif},
    {nullptr, 0, nullptr, 0},
};

// Whole-text unsigned number in the given base (0 = C notation).
bool parse_unsigned(const char* text, int base, uint64_t max, uint64_t& value) {
    if (!text || !*text || *text == '-' || *text == '+') return false;
    errno = 0;
    char* end = nullptr;
    unsigned long long v = std::strtoull(text, &end, base);
    if (errno != 0 || *end != '\0' || v > max) return false;
    value = v;
    return true;
}

bool parse_hex32(const char* text, uint32_t& value) {
    uint64_t v = 0;
    if (!parse_unsigned(text, 16, 0xFFFFFFFFu, v)) return false;
    value = static_cast<uint32_t>(v);
    return true;
}

bool parse_ms(const char* text, int& value) {
    uint64_t v = 0;
    if (!parse_unsigned(text, 10, 3600000, v)) return false;
    value = static_cast<int>(v);
    return true;
}

// "A:B" milliseconds with A <= B.
bool parse_ms_range(const char* text, MsRange& range) {
    const char* colon = std::strchr(text, ':');
    if (!colon) return false;
    std::string low(text, colon);
    MsRange r;
    if (!parse_ms(low.c_str(), r.low) || !parse_ms(colon + 1, r.high) || r.low > r.high) return false;
    range = r;
    return true;
}

bool parse_probability(const char* text, double& value) {
    char* end = nullptr;
    errno = 0;
    double v = std::strtod(text, &end);
    if (errno != 0 || end == text || *end != '\0' || !(v >= 0.0 && v <= 1.0)) return false;
    value = v;
    return true;
}

// A byte count with an optional K or M suffix (binary units).
bool parse_size(const char* text, uint32_t& value) {
    std::string t = text;
    uint64_t unit = 1;
    if (!t.empty() && (t.back() == 'K' || t.back() == 'k')) {
        unit = 1024;
        t.pop_back();
    } else if (!t.empty() && (t.back() == 'M' || t.back() == 'm')) {
        unit = 1024 * 1024;
        t.pop_back();
    }
    uint64_t v = 0;
    if (!parse_unsigned(t.c_str(), 0, 0xFFFFFFFFu, v) || v * unit > (1u << 30) || v == 0) return false;
    value = static_cast<uint32_t>(v * unit);
    return true;
}

bool parse_fw_version(const char* text, uint16_t& word) {
    unsigned a = 0, b = 0, c = 0;
    char tail = 0;
    if (std::sscanf(text, "%u.%u.%u%c", &a, &b, &c, &tail) != 3) return false;
    if (a > 63 || b > 63 || c > 15) return false;
    word = static_cast<uint16_t>((a << 10) | (b << 4) | c);
    return true;
}

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Nine bytes as 18 hex digits; ':', '-', '.' and blanks between bytes are
// allowed so that the value can be copied from a frame dump.
bool parse_reply_header(const char* text, std::array<uint8_t, 9>& bytes) {
    size_t n = 0;
    int high = -1;
    for (const char* p = text; *p; ++p) {
        if (*p == ':' || *p == '-' || *p == '.' || *p == ' ') {
            if (high >= 0) return false;
            continue;
        }
        int d = hex_digit(*p);
        if (d < 0) return false;
        if (high < 0) {
            high = d;
        } else {
            if (n == bytes.size()) return false;
            bytes[n++] = static_cast<uint8_t>(high << 4 | d);
            high = -1;
        }
    }
    return n == bytes.size() && high < 0;
}

bool parse_load(const char* text, MemoryLoad& load) {
    const char* eq = std::strchr(text, '=');
    if (!eq || eq[1] == '\0') return false;
    std::string address(text, eq);
    if (!parse_hex32(address.c_str(), load.address)) return false;
    load.path = eq + 1;
    return true;
}

bool parse_range(const char* text, MemoryRange& range) {
    std::string both(text);
    size_t colon = both.find(':');
    if (colon == std::string::npos) return false;
    if (!parse_hex32(both.substr(0, colon).c_str(), range.address)) return false;
    if (!parse_hex32(both.substr(colon + 1).c_str(), range.length)) return false;
    return range.length > 0;
}

bool parse_dump(const char* text, MemoryDump& dump) {
    const char* eq = std::strchr(text, '=');
    if (!eq || eq[1] == '\0') return false;
    MemoryRange range;
    if (!parse_range(std::string(text, eq).c_str(), range) || range.length > (1u << 30)) return false;
    dump.address = range.address;
    dump.length = range.length;
    dump.path = eq + 1;
    return true;
}

}  // namespace

bool parse_mac(const char* text, MacAddress& mac) {
    if (std::strlen(text) != 17) return false;
    char separator = text[2];
    if (separator != ':' && separator != '-') return false;
    for (int i = 0; i < 6; ++i) {
        const char* p = text + 3 * i;
        int h = hex_digit(p[0]), l = hex_digit(p[1]);
        if (h < 0 || l < 0) return false;
        if (i < 5 && p[2] != separator) return false;
        mac[i] = static_cast<uint8_t>(h << 4 | l);
    }
    return true;
}

std::string format_mac(const MacAddress& mac) {
    char text[18];
    std::snprintf(text, sizeof text, "%02X:%02X:%02X:%02X:%02X:%02X", mac[0], mac[1], mac[2], mac[3],
                  mac[4], mac[5]);
    return text;
}

const char* usage_text() {
    return "usage: devsim -i|--interface IFACE [-M|--mac MAC] [options]\n"
           "       devsim -h|--help\n"
           "device:   --fw-version A.B.C --link V --net-mode V --boot-mode V\n"
           "          --busy-ms MS --reset-ms MS --reply-header HEX18\n"
           "files:    --load ADDR=FILE --dump ADDR:LEN=FILE (hex) --capture FILE.pcap\n"
           "faults:   --seed S --drop-prob P --drop-first N --delay-ms MS --silent\n"
           "          --short-write N --jitter-ms A:B --dup-prob P --dup-lag A:B\n"
           "          --late-first-ms MS --no-echo --stray-zdp-ms MS --query-delay-ms MS\n"
           "          --unreadable ADDR:LEN (hex)\n"
           "flash:    --flash FILE --flash-size N --eeprom FILE --eeprom-size small|large|N\n"
           "          --erase-ms MS --program-ms MS --prog-fail B\n"
           "stations: --node MAC --loss P --ack-gap-ms MS --snr DB --pe N\n"
           "          --zdp-drop P --zdp-stale --zdp-error CODE --stats-counters N\n"
           "          --zdp-late MS --no-end-acks\n"
           "replies:  --bare-write-replies --query-answer-hostif\n";
}

bool parse_options(int argc, char** argv, DevsimOptions& o, std::string& error, bool& help) {
    help = false;
    optind = 1;
    opterr = 0;
    int c = 0;
    while ((c = getopt_long(argc, argv, ":i:M:h", long_options, nullptr)) != -1) {
        const char* arg = optarg;
        bool ok = true;
        uint64_t v = 0;
        switch (c) {
        case 'i': o.interface = arg; break;
        case 'M': ok = parse_mac(arg, o.mac); break;
        case 'h': help = true; return true;
        case opt_fw_version: ok = parse_fw_version(arg, o.fw_version); break;
        case opt_link:
            ok = parse_unsigned(arg, 0, 0xFFFFFFFFu, v);
            o.link_status = static_cast<uint32_t>(v);
            break;
        case opt_net_mode:
            ok = parse_unsigned(arg, 0, 0xFFFFFFFFu, v);
            o.net_mode = static_cast<uint32_t>(v);
            break;
        case opt_boot_mode:
            ok = parse_unsigned(arg, 0, 0xFFFFFFFFu, v);
            o.boot_mode = static_cast<uint32_t>(v);
            break;
        case opt_busy_ms: ok = parse_ms(arg, o.busy_ms); break;
        case opt_reset_ms: ok = parse_ms(arg, o.reset_ms); break;
        case opt_reply_header:
            ok = parse_reply_header(arg, o.reply_header);
            o.reply_header_set = ok;
            break;
        case opt_load: {
            MemoryLoad load;
            ok = parse_load(arg, load);
            if (ok) o.loads.push_back(load);
            break;
        }
        case opt_dump: {
            MemoryDump dump;
            ok = parse_dump(arg, dump);
            if (ok) o.dumps.push_back(dump);
            break;
        }
        case opt_capture: o.capture_path = arg; break;
        case opt_seed:
            ok = parse_unsigned(arg, 0, UINT64_MAX, v);
            o.seed = v;
            break;
        case opt_drop_prob: ok = parse_probability(arg, o.drop_prob); break;
        case opt_drop_first:
            ok = parse_unsigned(arg, 10, 1000000000, v);
            o.drop_first = static_cast<long>(v);
            break;
        case opt_delay_ms: ok = parse_ms(arg, o.delay_ms); break;
        case opt_query_delay_ms: ok = parse_ms(arg, o.query_delay_ms); break;
        case opt_silent: o.silent = true; break;
        case opt_short_write:
            ok = parse_unsigned(arg, 10, 1482, v);
            o.short_write = static_cast<long>(v);
            break;
        case opt_unreadable: {
            MemoryRange range;
            ok = parse_range(arg, range);
            if (ok) o.unreadable.push_back(range);
            break;
        }
        case opt_flash: o.flash_path = arg; break;
        case opt_flash_size: ok = parse_size(arg, o.flash_size); break;
        case opt_eeprom: o.eeprom_path = arg; break;
        case opt_eeprom_size:
            if (std::strcmp(arg, "small") == 0)
                o.eeprom_size = 2048;
            else if (std::strcmp(arg, "large") == 0)
                o.eeprom_size = 512 * 1024;
            else
                ok = parse_size(arg, o.eeprom_size);
            break;
        case opt_erase_ms: ok = parse_ms(arg, o.erase_ms); break;
        case opt_program_ms: ok = parse_ms(arg, o.program_ms); break;
        case opt_prog_fail:
            ok = parse_unsigned(arg, 0, 0xFFFF, v);
            if (ok) o.prog_fail.push_back(static_cast<uint32_t>(v));
            break;
        case opt_node: {
            MacAddress mac{};
            ok = parse_mac(arg, mac);
            if (ok) o.nodes.push_back(mac);
            break;
        }
        case opt_loss: ok = parse_probability(arg, o.loss); break;
        case opt_ack_gap_ms: ok = parse_ms(arg, o.ack_gap_ms); break;
        case opt_snr: {
            char* end = nullptr;
            o.snr_db = std::strtod(arg, &end);
            ok = end != arg && *end == '\0' && std::isfinite(o.snr_db) && o.snr_db > -20 && o.snr_db < 100;
            break;
        }
        case opt_pe:
            ok = parse_unsigned(arg, 0, 255, v);
            o.pe = static_cast<int>(v);
            break;
        case opt_zdp_drop: ok = parse_probability(arg, o.zdp_drop); break;
        case opt_zdp_stale: o.zdp_stale = true; break;
        case opt_zdp_error:
            ok = parse_unsigned(arg, 0, 255, v);
            o.zdp_error = static_cast<int>(v);
            break;
        case opt_stats_counters:
            ok = parse_unsigned(arg, 10, 9, v);
            o.stats_counters = static_cast<int>(v);
            break;
        case opt_zdp_late: ok = parse_ms(arg, o.zdp_late_ms); break;
        case opt_no_end_acks: o.no_end_acks = true; break;
        case opt_jitter_ms: ok = parse_ms_range(arg, o.jitter); break;
        case opt_dup_prob: ok = parse_probability(arg, o.dup_prob); break;
        case opt_dup_lag: ok = parse_ms_range(arg, o.dup_lag); break;
        case opt_late_first_ms: ok = parse_ms(arg, o.late_first_ms); break;
        case opt_no_echo: o.no_echo = true; break;
        case opt_stray_zdp_ms:
            ok = parse_ms(arg, o.stray_zdp_ms) && o.stray_zdp_ms > 0;
            break;
        case opt_bare_write_replies: o.bare_write_replies = true; break;
        case opt_query_answer_hostif: o.query_answer_hostif = true; break;
        case ':':
            error = std::string("option needs a value: ") + argv[optind - 1];
            return false;
        default:
            error = std::string("unknown option: ") + argv[optind - 1];
            return false;
        }
        if (!ok) {
            const char* name = "?";
            for (const option* l = long_options; l->name; ++l)
                if (l->val == c) name = l->name;
            error = std::string("bad value for --") + name + ": " + (arg ? arg : "");
            return false;
        }
    }
    if (optind < argc) {
        error = std::string("unexpected argument: ") + argv[optind];
        return false;
    }
    if (o.interface.empty()) {
        error = "an interface is needed (-i IFACE)";
        return false;
    }
    return true;
}
