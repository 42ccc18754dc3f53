#pragma once

#include <cstdint>

// The demodulator samples a receiving station reports: an error accumulator
// (sea) and its divisor (psc) per sample, chosen so that the loader's SNR
// formula for the payload encoding gives back the configured SNR.
struct DemodulatorSample {
    uint32_t sea = 0;
    uint16_t psc = 0;
    uint16_t pe = 0;
};

// True when the encoding byte names a constellation, baud and mask whose
// scale factor is not zero (the loader can compute a finite SNR from it).
bool pe_gives_snr(uint8_t pe);

// A sample for the SNR in dB at the encoding; pe_gives_snr(pe) must hold.
DemodulatorSample sample_for_snr(double snr_db, uint8_t pe);

// The SNR the loader computes from one such sample (for checks).
double snr_of_sample(const DemodulatorSample& sample);
