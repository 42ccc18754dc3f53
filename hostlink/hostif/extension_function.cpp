#include <cstdio>
#include <vector>

#include "firmware.h"
#include "hex_bytes.h"
#include "host_interface.h"
#include "memory_writer.h"
#include "settings/settings.h"

namespace {

constexpr int MEMORY_PIECE = 256;

// The header words of an extension function that the loader reads.
struct FunctionHeader {
    uint32_t order;
    uint32_t number;
    uint32_t address;
    uint32_t size;
    uint32_t unloaded;  // bytes of the size not loaded from the image
};

FunctionHeader read_function_header(const uint8_t* function) {
    return FunctionHeader{get_le32(function), get_le32(function + 12), get_le32(function + 16),
                          get_le32(function + 20), get_le32(function + 28)};
}

}  // namespace

int write_memory(EthernetLink& link, const uint8_t* data, int length, uint32_t address) {
    if (length < 1) return 0;
    int written = write_all(link, data, length, address, MEMORY_PIECE);
    if (written == 0) std::printf("ERROR: Failed to write block\n");
    return written;
}

int load_extension_section(EthernetLink& link, const uint8_t* function, int length) {
    if (length < FUNCTION_HEADER_SIZE) {
        std::printf("ERROR - failed to load extension\n");
        return 0;
    }
    FunctionHeader header = read_function_header(function);
    int64_t load_length = int64_t(header.size) - int64_t(header.unloaded);
    if (load_length > length) {
        std::printf("ERROR: extension function of %lld bytes exceeds its section of %d bytes\n",
                    static_cast<long long>(load_length), length);
        return 0;
    }
    // Word 7 above the size leaves nothing to load (and would not fit an int).
    if (load_length < 1 || write_memory(link, function, int(load_length), header.address) < 1) {
        std::printf("ERROR - failed to load extension\n");
        return 0;
    }
    run_code(link, header.address);
    uint32_t value = 0;
    int result = wait_for_device(link, 0, 4, 120, &value, 5);
    if (result < 1) return 0;
    if (debug_level >= 3)
        std::printf("** func=%d, order=%d, addr=0x%08x, size=0x%x len=0x%x\n", header.number,
                    header.order, header.address, header.size, uint32_t(load_length));
    return result;
}

int load_function_file(EthernetLink& link, const char* path) {
    FILE* file = path ? std::fopen(path, "r") : nullptr;
    if (!file) return 0;
    std::vector<uint8_t> bytes;
    read_hex_bytes(file, bytes);
    std::fclose(file);
    // Without its whole header a function has no load address to start at.
    if (bytes.size() < FUNCTION_HEADER_SIZE) {
        std::printf("ERROR: function file %s is shorter than its %d-byte header\n", path,
                    FUNCTION_HEADER_SIZE);
        return 0;
    }
    FunctionHeader header = read_function_header(bytes.data());
    if (debug_level >= 3)
        std::printf("func=%d, order=%d, addr=0x%08x, size=0x%x\n", header.number, header.order,
                    header.address, header.size);
    int count = int(bytes.size());
    if (write_all(link, bytes.data(), count, header.address, MEMORY_PIECE) == 0) {
        std::printf("Failed to write block\n");
        return 0;
    }
    run_code(link, header.address);
    if (debug_level >= 3)
        std::printf("func=%d, order=%d, addr=0x%08x, size=0x%x ", header.number, header.order,
                    header.address, header.size);
    std::printf("\n");
    return count;
}
