#include <cmath>
#include <cstdio>

#include "hostif/host_interface.h"
#include "settings/settings.h"
#include "snr.h"
#include "zdp_commands.h"

namespace {

constexpr uint32_t PE_REGISTER = 0xE04F88;
constexpr uint32_t LENGTH_MSB_REGISTER = 0xE04FB8;
constexpr uint32_t LENGTH_LSB_REGISTER = 0xE04FBC;
constexpr uint32_t MASK_REGISTER = 0xE04020;

constexpr int SAMPLE_COUNT = 16;

// Reads up to `count` little-endian words of a sample file; false when it does not exist.
bool read_words(const char* name, uint32_t* words, int count) {
    std::FILE* file = std::fopen(name, "rb");
    if (file == nullptr) return false;
    for (int i = 0; i < count; ++i) {
        unsigned char bytes[4] = {};
        if (std::fread(bytes, 1, 4, file) != 4) break;
        words[i] = bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) | (static_cast<uint32_t>(bytes[3]) << 24);
    }
    std::fclose(file);
    return true;
}

// One transmission setting file; a missing file leaves the value 0.
uint32_t read_setting(const char* name) {
    uint32_t value = 0;
    if (!read_words(name, &value, 1) && debug_level >= 1) std::printf("Failed to open %s\n", name);
    return value;
}

}  // namespace

int tx_cfg_command(EthernetLink& link, const char* argument) {
    int baud = 0, constellation = 0, mask = 0, length = 0;
    if (std::sscanf(argument, "%d,%d,%d,%d", &baud, &constellation, &mask, &length) < 4) {
        std::printf("ERROR: Invalid parameter string for CONFIG_TX: \"%s\", aborting...\n", argument);
        return 0;
    }
    if (length == 0 || baud < 1 || baud > 4 || constellation < 2 || constellation > 8 || mask < 1 || mask > 2) {
        std::printf("ERROR: illegal parameters Baud(1-4), Const(2-8), Mask(1-2) Len(>0)\n");
        return 0;
    }
    long long maximum = max_packet_length(baud, constellation);
    if (static_cast<long long>(static_cast<uint32_t>(length)) > maximum) {
        std::printf("ERROR: Packet too long for PE, Max=%d at baud=%d,const=%d\n", static_cast<int>(maximum), baud,
                    constellation);
        return 0;
    }
    struct RegisterWrite {
        uint32_t address;
        uint32_t value;
        const char* failure;
    };
    const RegisterWrite writes[] = {
        {PE_REGISTER, static_cast<uint32_t>(payload_encoding(baud, constellation, mask)), "ERROR: failed to set PE\n"},
        {LENGTH_MSB_REGISTER, (static_cast<uint32_t>(length) >> 8) & 0xFF, "ERROR: failed to set Packet len MSB\n"},
        {LENGTH_LSB_REGISTER, static_cast<uint32_t>(length) & 0xFF, "ERROR: failed to set Packet len LSB\n"},
        {MASK_REGISTER, static_cast<uint32_t>(mask), "ERROR: failed to set Mask\n"},
    };
    for (const RegisterWrite& write : writes) {
        if (write_word(link, write.address, write.value) != 0) {
            std::printf("%s", write.failure);
            return 0;
        }
    }
    return 1;
}

double calc_snr_command() {
    char name[64];
    float sum = 0.0f;
    int kept = 0;
    bool varying = false;
    uint32_t last_kept = 0;
    for (int i = 1; i <= SAMPLE_COUNT; ++i) {
        uint32_t flag = 0;
        std::snprintf(name, sizeof name, "snr_crc%d.mat", i);
        if (!read_words(name, &flag, 1)) return 0.0;
        if (flag & 2) {
            if (i == SAMPLE_COUNT) {
                std::printf("ERROR: bad snr sample\n");
                return 0.0;
            }
            continue;
        }
        std::snprintf(name, sizeof name, "snr_sea%d.mat", i);
        uint32_t parts[2] = {0, 0};
        if (!read_words(name, parts, 2)) {
            if (debug_level >= 1) std::printf("Failed to open %s", name);
            return 0.0;
        }
        uint32_t value = parts[1] * 65536u + parts[0];
        sum += static_cast<float>(value);
        // The first kept value is never compared: a set varies once a later
        // value differs from the one kept before it.
        if (kept >= 2 && !varying && value != last_kept) varying = true;
        if (value != 0) {
            last_kept = value;
            ++kept;
        }
    }
    if (kept == 0 || !varying) {
        std::printf("ERROR: No valid snr samples\n");
        return 0.0;
    }
    uint32_t baud_index = 0;
    int baud = 0;
    if (read_words("snr_baud.mat", &baud_index, 1)) {
        baud = static_cast<int>(baud_index) + 1;
    } else if (debug_level >= 1) {
        std::printf("Failed to open %s\n", "snr_baud.mat");
    }
    int length = static_cast<int>(read_setting("snr_len.mat"));
    int mask = static_cast<int>(read_setting("snr_mask.mat"));
    int constellation = static_cast<int>(read_setting("snr_const.mat"));

    float mean = sum / static_cast<float>(kept);
    if (length == 0 || baud < 1 || baud > 4 || constellation < 2 || constellation > 8 || mask < 1 || mask > 2 ||
        mean == 0.0f) {
        if (debug_level >= 1) std::printf("Invalid trans values(%d,%d,%d,%d)\n", length, baud, constellation, mask);
        return 0.0;
    }
    double factor = scale_factor(mask, baud, constellation);
    double x = signal_constant(baud) / (factor * factor * (static_cast<double>(mean) / static_cast<uint32_t>(length)));
    if (x == 0.0 || std::isnan(x)) {
        if (debug_level >= 1) std::printf("Invalid trans values(%d,%d,%d,%d)\n", length, baud, constellation, mask);
        return 0.0;
    }
    double snr = 10.0 * std::log10(x);
    if (debug_level >= 2) {
        std::printf("baud %d Const %d Mask %d Len %d temp %f snr %f\n", baud, constellation, mask, length, x, snr);
    }
    std::printf("%f,%d,%d,%d,%d\n", snr, baud, constellation, mask, length);
    return snr;
}
