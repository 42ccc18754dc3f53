#include <cstdio>

#include "host_interface.h"
#include "request.h"

namespace {

constexpr int READ_RETRIES = 10;
constexpr int WRITE_RETRIES = 200;
constexpr int WRITE_SENDS = 5;

bool block_size_fits(int n) {
    if (n >= 0 && n <= MESSAGE_DATA_CAPACITY) return true;
    std::printf("ERROR: a block of %d bytes does not fit in a message\n", n);
    return false;
}

}  // namespace

int read_block(EthernetLink& link, uint32_t address, int n, int serial) {
    if (!block_size_fits(n)) return 0;
    prepare_request(serial ? OPCODE_READ_SERIAL : OPCODE_READ_MEMORY, address, n);
    send_message(link, message_buffer, HEADER_SIZE + n);
    int captured = receive_message(link, message_buffer, MESSAGE_BUFFER_SIZE, READ_RETRIES);
    // A reply can only deliver the data that actually arrived with it.
    int arrived = captured - HEADER_SIZE;
    int count = take_reply(captured, n < arrived ? n : arrived);
    return count < 0 ? 0 : count;
}

int write_block(EthernetLink& link, uint32_t address, int n, int serial) {
    if (!block_size_fits(n)) return 0;
    uint8_t opcode = serial ? OPCODE_WRITE_SERIAL : OPCODE_WRITE_MEMORY;
    for (int send = 0; send < WRITE_SENDS; ++send) {
        prepare_request(opcode, address, n);
        if (send_message(link, message_buffer, HEADER_SIZE + n) == 0) {
            std::printf("ERROR: Failed to send packet\n");
            return 0;
        }
        int captured = receive_message(link, message_buffer, MESSAGE_BUFFER_SIZE, WRITE_RETRIES);
        int count = take_reply(captured, n);
        if (count >= 0) return count;
    }
    return 0;
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
