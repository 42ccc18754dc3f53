#pragma once

#include <cstdint>

// Packet error rate over one transmitter and one receiver report: the
// transmitter's report divides by XMT_NPKTS, the receiver's multiplies by
// RECV_NPKTS, and the second report turns the product into 1 - ratio.
struct PerAccumulator {
    double value = 1.0;
    int reports = 0;
};

extern PerAccumulator per_accumulator;

// Shown in place of a PER whose packet count is missing or zero.
constexpr const char* PER_NOT_MEASURED = "n/a";

// Back to 1.0 and no reports (START_SEND).
void reset_per_accumulator();

// Value of the first counter of a statistics reply (the packet count); false
// when the reply's segments (up to the end its length field gives) do not
// hold it.
bool first_counter(const uint8_t* reply, int length, uint32_t* value);

// Prints a statistics reply from `node` (role tag, counters, SNR/PER/PE
// columns as the settings ask) and updates the PER accumulator.
void print_statistics(const uint8_t* reply, int length, const uint8_t node[6]);
