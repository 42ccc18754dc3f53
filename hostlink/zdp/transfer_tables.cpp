#include "transfer_tables.h"

#include <cstring>

TransferTable send_transfers;
TransferTable receive_transfers;

const char* const TRANSFER_TABLE_FULL_TEXT = "failure : transfer table full\n";

int TransferTable::find(const uint8_t address[6]) const {
    for (int i = 0; i < count && i < TRANSFER_TABLE_CAPACITY; ++i) {
        if (std::memcmp(entries[i].address, address, 6) == 0) return i;
    }
    return -1;
}

bool TransferTable::add(const uint8_t address[6], uint16_t transfer_id) {
    if (full()) return false;
    std::memcpy(entries[count].address, address, 6);
    entries[count].transfer_id = transfer_id;
    ++count;
    return true;
}

void reset_transfer_tables() {
    send_transfers = TransferTable{};
    receive_transfers = TransferTable{};
}
