#pragma once

#include <cstdint>

// Payload encoding (PE) byte: bits 0-2 constellation index (const - 1), bits
// 3-4 baud index (baud - 1), bits 5-6 mask index (mask - 1).
int payload_encoding(int baud, int constellation, int mask);
// Longest packet the transmitter takes at a baud and constellation.
long long max_packet_length(int baud, int constellation);
// Constellation scale factor T[mask][baud][const]; 0.0 outside the table.
double scale_factor(int mask, int baud, int constellation);
// Reference signal level of a baud: 524288 / 2^(baud - 1).
double signal_constant(int baud);

// One demodulator sample of a receiver's statistics reply.
struct SnrSample {
    uint32_t sea;   // error accumulator
    uint16_t psc;   // its divisor
    uint16_t pe;    // PE byte in the low bits
};

// SNR in dB over the valid samples (0.0 when none is valid); *pe receives the
// PE the samples were taken at.
double sample_snr(const SnrSample* samples, int count, int* pe);
