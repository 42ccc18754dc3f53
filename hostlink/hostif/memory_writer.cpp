#include "memory_writer.h"

#include <cstring>

#include "host_interface.h"
#include "transfer_progress.h"

int write_all(EthernetLink& link, const uint8_t* data, int length, uint32_t address, int piece_size) {
    int done = 0;
    while (done < length) {
        int n = length - done < piece_size ? length - done : piece_size;
        std::memcpy(message_buffer + MESSAGE_DATA_OFFSET, data + done, n);
        int written = write_block(link, address, n, 0);
        if (written < 1) return 0;
        done += written;
        address += written;
        count_transfer(written);
    }
    return length;
}
