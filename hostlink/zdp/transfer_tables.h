#pragma once

#include <cstdint>

// Transfers configured during this run, remembered so that START_SEND,
// STOP_SEND and the statistics reports can find them by node address. Entries
// are never removed; the tables live for the whole process.
constexpr int TRANSFER_TABLE_CAPACITY = 20;

struct TransferEntry {
    uint16_t transfer_id = 0;
    uint8_t address[6] = {};   // SA of a send transfer, DA of a receive transfer
};

struct TransferTable {
    TransferEntry entries[TRANSFER_TABLE_CAPACITY];
    int32_t count = 0;

    bool full() const { return count >= TRANSFER_TABLE_CAPACITY; }
    // Index of the first entry naming the address, -1 when none does.
    int find(const uint8_t address[6]) const;
    // Records a transfer; false (and nothing recorded) when the table is full.
    bool add(const uint8_t address[6], uint16_t transfer_id);
};

extern TransferTable send_transfers;
extern TransferTable receive_transfers;

// Refused text of a command that would need a further entry in a full table.
extern const char* const TRANSFER_TABLE_FULL_TEXT;

// Empties both tables (start of a test run in unit tests).
void reset_transfer_tables();
