#include <cstdio>

#include "host_interface.h"
#include "request.h"
#include "stop/stop_request.h"

namespace {

bool block_size_fits(int n) {
    if (n >= 0 && n <= MESSAGE_DATA_CAPACITY) return true;
    std::printf("ERROR: a block of %d bytes does not fit in a message\n", n);
    return false;
}

}  // namespace

// Reads change nothing on the device, so they are sent again like writes.
int read_block(EthernetLink& link, uint32_t address, int n, int serial) {
    if (!block_size_fits(n)) return 0;
    int captured = exchange_request(link, serial ? OPCODE_READ_SERIAL : OPCODE_READ_MEMORY, address, n);
    if (captured <= 0) return 0;
    // A reply can only deliver the data that actually arrived with it.
    int arrived = captured - HEADER_SIZE;
    int count = take_reply(captured, n < arrived ? n : arrived);
    return count < 0 ? 0 : count;
}

int write_block(EthernetLink& link, uint32_t address, int n, int serial) {
    if (!block_size_fits(n)) return 0;
    int captured = exchange_request(link, serial ? OPCODE_WRITE_SERIAL : OPCODE_WRITE_MEMORY, address, n);
    if (captured < 0) {
        // A send refused after a stop is no failure of the link.
        if (!stop_requested()) std::printf("ERROR: Failed to send packet\n");
        return 0;
    }
    int count = take_reply(captured, n);
    return count < 0 ? 0 : count;
}

static int read_word_with(EthernetLink& link, uint32_t address, uint32_t* value, int serial) {
    if (read_block(link, address, 4, serial) < 4) return -1;
    *value = get_le32(message_buffer + MESSAGE_DATA_OFFSET);
    return 0;
}

static int write_word_with(EthernetLink& link, uint32_t address, uint32_t value, int serial) {
    put_le32(message_buffer + MESSAGE_DATA_OFFSET, value);
    return write_block(link, address, 4, serial) < 4 ? -1 : 0;
}

int read_word(EthernetLink& link, uint32_t address, uint32_t* value) {
    return read_word_with(link, address, value, 0);
}

int write_word(EthernetLink& link, uint32_t address, uint32_t value) {
    return write_word_with(link, address, value, 0);
}

int read_serial(EthernetLink& link, uint32_t address, uint32_t* value) {
    return read_word_with(link, address, value, 1);
}

int write_serial(EthernetLink& link, uint32_t address, uint32_t value) {
    return write_word_with(link, address, value, 1);
}
