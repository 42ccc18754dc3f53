#include "snr.h"

#include <cmath>
#include <cstdio>

#include "settings/settings.h"

namespace {

// T[mask - 1][baud - 1][const - 2]. Mask 1 has no encodings at baud 3 and 4.
constexpr double scale_factors[2][4][7] = {
    {
        {1.0, 0.1111, 0.3333, 0.25, 0.1429, 0.1111, 0.0667},
        {0.7071, 0.0786, 0.2357, 0.1768, 0.101, 0.0786, 0.0471},
        {0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0},
        {0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0},
    },
    {
        {1.0, 0.1111, 0.3333, 0.25, 0.1429, 0.1111, 0.0667},
        {0.7071, 0.0786, 0.2509, 0.1812, 0.1113, 0.0835, 0.0534},
        {0.5, 0.0556, 0.1952, 0.1396, 0.0897, 0.0664, 0.0438},
        {0.3119, 0.0335, 0.1225, 0.086, 0.0583, 0.0418, 0.0288},
    },
};

}  // namespace

int payload_encoding(int baud, int constellation, int mask) {
    return (constellation - 1) + 8 * (baud - 1) + 32 * (mask - 1);
}

long long max_packet_length(int baud, int constellation) {
    switch (baud) {
        case 1: return 1024LL * constellation;
        case 2: return 2048LL * constellation;
        case 3: return 4096LL * constellation;
        case 4: return 8192LL * constellation - 1;
        default: return 0;
    }
}

double scale_factor(int mask, int baud, int constellation) {
    if (mask < 1 || mask > 2 || baud < 1 || baud > 4 || constellation < 2 || constellation > 8) return 0.0;
    return scale_factors[mask - 1][baud - 1][constellation - 2];
}

double signal_constant(int baud) { return 524288.0 / std::pow(2.0, baud - 1); }

double sample_snr(const SnrSample* samples, int count, int* pe) {
    double sum = 0.0;
    int valid = 0;
    float pe_sum = 0.0f;
    *pe = 0;
    for (int i = 0; i < count; ++i) {
        const SnrSample& sample = samples[i];
        *pe = sample.pe;
        pe_sum += sample.pe;
        double ratio = sample.psc != 0 ? static_cast<double>(sample.sea) / static_cast<double>(sample.psc) : 0.0;
        int constellation_index = sample.pe & 7;
        int baud = ((sample.pe >> 3) & 3) + 1;
        int mask = ((sample.pe >> 5) & 3) + 1;
        if (constellation_index >= 1 && constellation_index <= 7 && (mask == 1 || mask == 2) && ratio != 0.0) {
            double factor = scale_factor(mask, baud, constellation_index + 1);
            sum += signal_constant(baud) / (factor * factor * ratio);
            ++valid;
        }
        if (debug_level >= 3) std::printf("\npe %d psc %d sea %d", sample.pe, sample.psc, static_cast<int>(sample.sea));
    }
    if (debug_level >= 3) std::printf("\n");
    if (valid == 0) return 0.0;
    if (debug_level == 3) {
        *pe = static_cast<int>(pe_sum) / valid;
        float quotient = pe_sum / static_cast<float>(valid);
        if (static_cast<int>(quotient) != *pe) {
            std::printf("Not all test samples had the same PE fpe=%f pe=%d tot=%d\n", quotient, *pe, valid);
        }
    }
    double mean = sum / valid;
    if (mean == 0.0 || std::isnan(mean)) return 0.0;
    return 10.0 * std::log10(mean);
}
