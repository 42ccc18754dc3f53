#include "statistics.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "settings/settings.h"
#include "snr.h"
#include "transfer_tables.h"

PerAccumulator per_accumulator;

namespace {

constexpr int LENGTH_FIELD_OFFSET = 16;
constexpr int COUNTER_OFFSET = 34;
constexpr int COUNTER_SIZE = 8;
constexpr int SAMPLE_OFFSET = 106;
constexpr int SAMPLE_SIZE = 12;
constexpr int SAMPLE_COUNT = 16;
constexpr int TRANSMITTER_COUNTERS = 4;
constexpr int RECEIVER_COUNTERS = 9;

enum class Role { transmitter, receiver, unknown };

struct CounterType {
    uint16_t type;
    const char* name;
    const char* format;
};

constexpr CounterType counter_types[] = {
    {0x0101, "XMT_NPKTS ", "%u "},          {0x0102, "XMT_NBYTES ", "%u "},
    {0x0103, "XMT_NERRS ", "%u "},          {0x0104, "XMT_NELAPSED_TIME ", "%10u "},
    {0x0105, "RECV_NPKTS ", "%u "},         {0x0106, "RECV_NBYTES ", "%u "},
    {0x0107, "RECV_SEQ_MISS ", "%u "},      {0x0108, "RECV_SEQ_ERR ", "%u "},
    {0x0109, "RECV_DATA_ERR ", "%u "},      {0x010A, "RECV_ERR ", "%u "},
    {0x010B, "RECV_ELAPSED_TIME ", "%10u "}, {0x010C, "RECV_FCS_ERR ", "%u "},
    {0x010D, "RECV_HDR_ERR ", "%u "},
};

uint16_t big_u16(const uint8_t* at) { return static_cast<uint16_t>((at[0] << 8) | at[1]); }
uint32_t big_u32(const uint8_t* at) {
    return (static_cast<uint32_t>(at[0]) << 24) | (at[1] << 16) | (at[2] << 8) | at[3];
}
uint16_t little_u16(const uint8_t* at) { return static_cast<uint16_t>(at[0] | (at[1] << 8)); }
uint32_t little_u32(const uint8_t* at) {
    return at[0] | (at[1] << 8) | (at[2] << 16) | (static_cast<uint32_t>(at[3]) << 24);
}

// The segments end where the ZDP length field says (it counts from offset
// 16); a short reply padded by Ethernet must not have its padding read as
// counters. A length field beyond the frame leaves the frame end the limit.
int segments_end(const uint8_t* reply, int length) {
    if (reply == nullptr || length < LENGTH_FIELD_OFFSET + 2) return length;
    const int declared = LENGTH_FIELD_OFFSET + big_u16(reply + LENGTH_FIELD_OFFSET);
    return declared < length ? declared : length;
}

// Both tables are searched with the same index, bounded by the send table's count.
Role role_of(const uint8_t node[6]) {
    for (int i = 0; i < send_transfers.count && i < TRANSFER_TABLE_CAPACITY; ++i) {
        if (std::memcmp(send_transfers.entries[i].address, node, 6) == 0) return Role::transmitter;
        if (std::memcmp(receive_transfers.entries[i].address, node, 6) == 0) return Role::receiver;
    }
    return Role::unknown;
}

// The samples the reply holds (a short reply holds fewer than sixteen).
int read_samples(const uint8_t* reply, int length, SnrSample* samples) {
    int count = 0;
    while (count < SAMPLE_COUNT && SAMPLE_OFFSET + (count + 1) * SAMPLE_SIZE <= length) {
        const uint8_t* at = reply + SAMPLE_OFFSET + count * SAMPLE_SIZE + 4;
        samples[count].sea = little_u32(at);
        samples[count].psc = little_u16(at + 4);
        samples[count].pe = little_u16(at + 6);
        ++count;
    }
    return count;
}

// Counters present in the reply are printed; reading stops at the frame's end.
void print_counters(const uint8_t* reply, int length, int counters) {
    for (int k = 0; k < counters && COUNTER_OFFSET + (k + 1) * COUNTER_SIZE <= length; ++k) {
        const uint8_t* segment = reply + COUNTER_OFFSET + k * COUNTER_SIZE;
        uint16_t type = big_u16(segment);
        uint32_t value = big_u32(segment + 4);
        const CounterType* known = nullptr;
        for (const CounterType& candidate : counter_types) {
            if (candidate.type == type) known = &candidate;
        }
        if (known == nullptr) {
            std::printf("unknown csType : 0x%.4x\n", type);
            continue;
        }
        if (debug_level >= 3) std::printf("%s", known->name);
        std::printf(known->format, value);
    }
}

}  // namespace

void reset_per_accumulator() { per_accumulator = PerAccumulator{}; }

bool first_counter(const uint8_t* reply, int length, uint32_t* value) {
    if (reply == nullptr || segments_end(reply, length) < COUNTER_OFFSET + COUNTER_SIZE) return false;
    *value = big_u32(reply + COUNTER_OFFSET + 4);
    return true;
}

void print_statistics(const uint8_t* reply, int length, const uint8_t node[6]) {
    length = segments_end(reply, length);
    Role role = role_of(node);
    if (debug_level == 1) {
        std::printf("\tgetting statistics from");
        for (int i = 0; i < 6; ++i) std::printf(" %.2x", node[i]);
        std::printf("\n");
    }
    double snr = 0.0;
    int pe = 0;
    uint32_t packets = 0;
    // A reply without its packet count gives nothing to count for the PER.
    bool counted = first_counter(reply, length, &packets);
    if (counted) {
        double v = static_cast<double>(packets);
        ++per_accumulator.reports;
        if (role == Role::transmitter) {
            // Nothing sent gives no PER: NaN carries that through the
            // receiver's report, and the column then shows n/a.
            per_accumulator.value = packets == 0 ? std::nan("") : per_accumulator.value / v;
        } else {
            per_accumulator.value *= v;
        }
        if (per_accumulator.reports == 2) per_accumulator.value = 1.0 - per_accumulator.value;
    }
    if (role == Role::receiver) {
        SnrSample samples[SAMPLE_COUNT];
        int count = read_samples(reply, length, samples);
        snr = sample_snr(samples, count, &pe);
    }
    if (cert_verbose) {
        std::printf("%s", role == Role::transmitter ? "TX: " : role == Role::receiver ? "RX: " : "UNK!");
    }
    if (role == Role::receiver && counted && per_accumulator.reports == 2) {
        const double per = per_accumulator.value;
        if (std::isfinite(per)) {
            // More packets received than sent lost none.
            std::printf("%2.2f %3.2e %3d ", snr, per < 0.0 ? 0.0 : per, pe);
        } else {
            std::printf("%2.2f %s %3d ", snr, PER_NOT_MEASURED, pe);
        }
    }
    if (cert_verbose) {
        print_counters(reply, length, role == Role::transmitter ? TRANSMITTER_COUNTERS : RECEIVER_COUNTERS);
    }
    std::fflush(stdout);
}
