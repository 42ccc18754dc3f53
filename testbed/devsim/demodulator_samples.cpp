#include "demodulator_samples.h"

#include <algorithm>
#include <cmath>

namespace {

// Constellation scale factors by mask (1-2), baud (1-4) and bits per symbol
// (2-8), as the receiver's demodulator applies them.
constexpr double scale[2][4][7] = {
    {{1.0, 0.1111, 0.3333, 0.25, 0.1429, 0.1111, 0.0667},
     {0.7071, 0.0786, 0.2357, 0.1768, 0.101, 0.0786, 0.0471},
     {0, 0, 0, 0, 0, 0, 0},
     {0, 0, 0, 0, 0, 0, 0}},
    {{1.0, 0.1111, 0.3333, 0.25, 0.1429, 0.1111, 0.0667},
     {0.7071, 0.0786, 0.2509, 0.1812, 0.1113, 0.0835, 0.0534},
     {0.5, 0.0556, 0.1952, 0.1396, 0.0897, 0.0664, 0.0438},
     {0.3119, 0.0335, 0.1225, 0.086, 0.0583, 0.0418, 0.0288}},
};

struct Encoding {
    int constellation;  // bits per symbol minus 1: 1..7
    int baud;           // 1..4
    int mask;           // 1..2
};

Encoding decode(uint8_t pe) { return {pe & 7, ((pe >> 3) & 3) + 1, ((pe >> 5) & 3) + 1}; }

double factor(const Encoding& e) { return scale[e.mask - 1][e.baud - 1][e.constellation - 1]; }

double signal(const Encoding& e) { return 524288.0 / std::pow(2.0, e.baud - 1); }

}  // namespace

bool pe_gives_snr(uint8_t pe) {
    Encoding e = decode(pe);
    return (pe & 0x80) == 0 && e.constellation >= 1 && e.mask <= 2 && factor(e) != 0.0;
}

DemodulatorSample sample_for_snr(double snr_db, uint8_t pe) {
    Encoding e = decode(pe);
    double t = factor(e);
    double ratio = signal(e) / (t * t * std::pow(10.0, snr_db / 10.0));
    // The largest divisor that keeps the accumulator within 32 bits gives
    // the finest steps.
    double divisor = std::clamp(std::floor(4.0e9 / ratio), 1.0, 65535.0);
    DemodulatorSample s;
    s.psc = static_cast<uint16_t>(divisor);
    s.sea = static_cast<uint32_t>(std::clamp(std::llround(ratio * divisor), 1LL, 4294967295LL));
    s.pe = pe;
    return s;
}

double snr_of_sample(const DemodulatorSample& s) {
    Encoding e = decode(static_cast<uint8_t>(s.pe));
    double ratio = static_cast<double>(s.sea) / s.psc;
    double t = factor(e);
    return 10.0 * std::log10(signal(e) / (t * t * ratio));
}
