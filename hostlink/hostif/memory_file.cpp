#include "memory_file.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "host_interface.h"
#include "transfer_progress.h"
#include "settings/settings.h"

namespace {

constexpr int LINE_SIZE = 512;
constexpr int FILE_PIECE = 1400;

// Reads one line (at most LINE_SIZE - 1 characters kept, without its line
// end); the rest of a longer line is passed over so it never counts as a line
// of its own. False at the end of the file.
bool read_line(FILE* file, char* line) {
    if (!std::fgets(line, LINE_SIZE, file)) return false;
    size_t length = std::strlen(line);
    bool complete = length > 0 && line[length - 1] == '\n';
    if (!complete) {
        int c;
        while ((c = std::fgetc(file)) != EOF && c != '\n') {
        }
    }
    while (length > 0 && (line[length - 1] == '\n' || line[length - 1] == '\r')) line[--length] = 0;
    return true;
}

// One hex value from the start of the line, as "%x" reads it.
bool parse_hex_word(const char* line, uint32_t* value) {
    char* end = nullptr;
    unsigned long parsed = std::strtoul(line, &end, 16);
    if (end == line) return false;
    *value = uint32_t(parsed);
    return true;
}

uint32_t to_big_endian(uint32_t value) {
    return (value >> 24) | ((value >> 8) & 0xFF00) | ((value << 8) & 0xFF0000) | (value << 24);
}

}  // namespace

bool finish_written_file(std::FILE* file, const char* path, bool writes_ok) {
    const bool flushed = std::fflush(file) == 0 && std::ferror(file) == 0;
    const bool closed = std::fclose(file) == 0;
    if (writes_ok && flushed && closed) return true;
    std::fprintf(stderr, "ERROR: failed to write %s\n", path);
    return false;
}

int load_memory_file(EthernetLink& link, const char* path, uint32_t address, int swap) {
    if (!path) return -1;
    if (access(path, R_OK) != 0) {
        std::printf("ERROR: file could not be accessed\n");
        return -5;
    }
    FILE* file = std::fopen(path, "r");
    if (!file) {
        std::printf("ERROR: file could not be opened\n");
        return -9;
    }
    if (debug_level >= 3) std::printf("Going to load file to address 0x%06x\n", address);
    char line[LINE_SIZE];
    int count = 0;
    for (int line_number = 0; read_line(file, line); ++line_number) {
        uint32_t value;
        if (!parse_hex_word(line, &value)) {
            std::printf("ERROR: bad numeric input on line #%d: \"%s\", aborting...\n", line_number,
                        line);
            break;
        }
        if (swap) value = to_big_endian(value);
        if (write_word(link, address, value) != 0) {
            std::printf("ERROR: failed to write address, aborting..\n");
            std::fclose(file);
            return -1;
        }
        ++count;
        address += 4;
    }
    std::fclose(file);
    if (count == 0) {
        std::printf("ERROR: no data in file.\n");
        return -2;
    }
    if (debug_level >= 3) std::printf("Loaded %d locations in memory\n", count);
    return count;
}

int store_memory_file(EthernetLink& link, const char* path, uint32_t address, int count, int binary,
                      int step) {
    if (!path) return -1;
    FILE* file = std::fopen(path, binary ? "wb" : "w");
    if (!file) {
        std::printf("ERROR: file could not be created\n");
        return -9;
    }
    if (debug_level >= 3) std::printf("Going to store to file from address 0x%06x\n", address);
    uint32_t last_address = address;
    int written = 0;
    for (int i = 0; i < count; ++i) {
        uint32_t value;
        if (read_word(link, address, &value) != 0) {
            std::printf("ERROR: Failed to read memory, aborting\n");
            std::fclose(file);
            return -1;
        }
        last_address = address;
        bool ok;
        if (binary) {
            uint8_t bytes[4];
            put_le32(bytes, value);
            ok = std::fwrite(bytes, 1, 4, file) == 4;
        } else {
            ok = std::fprintf(file, "%8.8x:%8.8x\n", address, value) > 0;
        }
        if (!ok || std::ferror(file)) break;
        ++written;
        address += uint32_t(step) * 4;
    }
    // Buffered words reach the disk only here; a failure loses them.
    if (!finish_written_file(file, path, written >= count)) written = 0;
    if (written < count || count < 0) {
        std::printf("ERROR: not all data written to file.\n");
        return -2;
    }
    if (debug_level >= 3) {
        std::printf("End of data, last address: 0x%06x. \n", last_address);
        std::printf("Stored %d locations in file.\n", count);
    }
    return count;
}

int read_block_to_file(EthernetLink& link, uint32_t address, int length, const char* path) {
    if (!path) return 0;
    FILE* file = std::fopen(path, "wb");
    if (!file) {
        std::printf("ERROR: file could not be created\n");
        return 0;
    }
    int total = 0;
    bool stored_all = true;
    while (total < length) {
        int piece = length - total < FILE_PIECE ? length - total : FILE_PIECE;
        int received = read_block(link, address, piece, 0);
        if (received < 1) {
            std::fprintf(stderr, "Failed to read buffer of size %d from %x\n", received, address);
            std::fclose(file);
            return 0;
        }
        int stored = int(std::fwrite(message_buffer + MESSAGE_DATA_OFFSET, 1, received, file));
        total += stored;
        address += stored;
        count_transfer(stored);
        // A short file write (a full disk) loses data: the transfer fails.
        if (stored < received || std::ferror(file)) {
            stored_all = false;
            break;
        }
    }
    if (!finish_written_file(file, path, stored_all)) return 0;
    return total;
}

int write_block_from_file(EthernetLink& link, uint32_t address, const char* path) {
    if (!path) return 0;
    FILE* file = std::fopen(path, "rb");
    if (!file) {
        std::printf("ERROR: file could not be opened %d %s\n", errno, path);
        return 0;
    }
    uint8_t piece[FILE_PIECE];
    int total = 0;
    size_t length;
    while ((length = std::fread(piece, 1, FILE_PIECE, file)) > 0) {
        // A device that takes fewer bytes than sent gets the rest next, at the
        // address just after what it took, so no byte of the file is skipped.
        size_t done = 0;
        while (done < length) {
            int n = int(length - done);
            std::memcpy(message_buffer + MESSAGE_DATA_OFFSET, piece + done, n);
            int written = write_block(link, address, n, 0);
            if (written < 1) {
                std::fprintf(stderr, "Failed to write buffer of size %d to %x\n", written, address);
                std::fclose(file);
                return 0;
            }
            done += written;
            address += written;
            total += written;
            count_transfer(written);
        }
    }
    bool read_failed = std::ferror(file) != 0;
    std::fclose(file);
    if (read_failed) {
        std::printf("ERROR: file could not be read %s\n", path);
        return 0;
    }
    return total;
}
