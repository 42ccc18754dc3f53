#include <cstdio>
#include <cstring>

#include "firmware.h"
#include "host_interface.h"

namespace {

constexpr int SECTION_HEADER_SIZE = 8;  // tag and next-section offset
constexpr int MAX_TABLE_ID = SYSTEM_TABLE_ENTRIES - 1;
// Section lengths are 16-bit quantities; a longer parameter section cannot
// be meant for its destination and would only be cut short.
constexpr int MAX_PARAMETER_SECTION = 65535;

// The process's copy of the device's system table descriptors; a download
// loads it, records the new table sizes in it and writes it back.
uint32_t system_table[SYSTEM_TABLE_ENTRIES * 3];

bool section_fits(int position, int length) {
    return position >= 0 && position <= length - SECTION_HEADER_SIZE;
}

// A next-section offset either ends the chain or points forward past the
// current section's header to another whole section header in the image.
bool next_is_sound(uint32_t next, int position, int length) {
    if (next == 0) return true;
    return next >= uint32_t(position) + SECTION_HEADER_SIZE &&
           next <= uint32_t(length - SECTION_HEADER_SIZE);
}

int broken_chain(int position) {
    std::printf("ERROR: broken section chain at offset 0x%x\n", position);
    return 0;
}

int write_table(EthernetLink& link, const uint8_t* body, int body_length, int image_length) {
    if (body_length < 4) {
        std::printf("ERROR: table section without its id and length\n");
        return 0;
    }
    uint32_t word = get_le32(body);
    int id = int(word >> 24);
    int size = int(word & 0xFFFFFF);
    int maximum = id <= MAX_TABLE_ID ? int(system_table[id * 3 + 2]) : 0;
    if (id > MAX_TABLE_ID || size > maximum) {
        std::printf("ERROR: table_id %d size/idx mismatch [max: %d size:%d]\n", id, maximum, size);
        return image_length;
    }
    if (size > body_length - 4) {
        std::printf("ERROR: table_id %d holds %d bytes, its section only %d\n", id, size,
                    body_length - 4);
        return 0;
    }
    int written = write_memory(link, body + 4, size, system_table[id * 3]);
    if (written > 0) system_table[id * 3 + 1] = uint32_t(size);
    return written;
}

int write_section(EthernetLink& link, const uint8_t* tag, const uint8_t* body, int body_length,
                  int image_length) {
    if (std::memcmp(tag, "ZRX1", 4) == 0) return load_extension_section(link, body, body_length);
    if (std::memcmp(tag, "ZRPT", 4) == 0) return write_table(link, body, body_length, image_length);
    uint32_t destination;
    if (std::memcmp(tag, "ZRPS", 4) == 0)
        destination = OEM_SECTION_ADDRESS;
    else if (std::memcmp(tag, "ZRPM", 4) == 0)
        destination = MAC_SECTION_ADDRESS;
    else if (std::memcmp(tag, "ZRPH", 4) == 0)
        destination = PHY_SECTION_ADDRESS;
    else {
        std::printf("ERROR: no destination for section %.4s\n", reinterpret_cast<const char*>(tag));
        return 0;
    }
    if (body_length > MAX_PARAMETER_SECTION) {
        std::printf("ERROR: section %.4s of %d bytes is longer than %d bytes\n",
                    reinterpret_cast<const char*>(tag), body_length, MAX_PARAMETER_SECTION);
        return 0;
    }
    return write_memory(link, body, body_length, destination);
}

}  // namespace

int find_section(EthernetLink& link, const char tag[4], int start, const uint8_t* image, int length,
                 int* next) {
    int position = start;
    if (!section_fits(position, length)) return broken_chain(position);
    while (std::memcmp(image + position, tag, 4) != 0) {
        uint32_t following = get_le32(image + position + 4);
        if (following == 0) return -1;
        if (!next_is_sound(following, position, length)) return broken_chain(position);
        position = int(following);
    }
    uint32_t following = get_le32(image + position + 4);
    if (!next_is_sound(following, position, length)) return broken_chain(position);
    int end = following ? int(following) : length;
    int body_length = end - position - SECTION_HEADER_SIZE;
    int result = write_section(link, image + position, image + position + SECTION_HEADER_SIZE,
                               body_length, length);
    if (next) *next = int(following);
    return result;
}

int load_system_table(EthernetLink& link) {
    if (read_block(link, SYSTEM_TABLE_ADDRESS, SYSTEM_TABLE_SIZE, 0) != SYSTEM_TABLE_SIZE) {
        std::printf("ERROR: failed to load system table\n");
        return -1;
    }
    for (int i = 0; i < SYSTEM_TABLE_ENTRIES * 3; ++i)
        system_table[i] = get_le32(message_buffer + MESSAGE_DATA_OFFSET + 4 * i);
    return SYSTEM_TABLE_SIZE;
}

int store_system_table(EthernetLink& link) {
    for (int i = 0; i < SYSTEM_TABLE_ENTRIES * 3; ++i)
        put_le32(message_buffer + MESSAGE_DATA_OFFSET + 4 * i, system_table[i]);
    if (write_block(link, SYSTEM_TABLE_ADDRESS, SYSTEM_TABLE_SIZE, 0) != SYSTEM_TABLE_SIZE) {
        std::printf("ERROR: failed to store system table\n");
        return -1;
    }
    return SYSTEM_TABLE_SIZE;
}
