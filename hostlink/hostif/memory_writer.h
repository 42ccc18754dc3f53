#pragma once

#include <cstdint>

class EthernetLink;

// Writes `length` bytes to device memory through message_buffer in pieces of
// at most `piece_size` bytes. A piece the device takes only in part goes on
// from the reported count, so every byte lands at its own address. `length`
// on success, 0 when a write got no answer. No message.
int write_all(EthernetLink& link, const uint8_t* data, int length, uint32_t address, int piece_size);
