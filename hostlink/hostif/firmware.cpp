#include "firmware.h"

#include <cstdio>
#include <vector>

#include "host_interface.h"
#include "pause.h"

namespace {

constexpr uint16_t MAC_SECTION_FLAG = 0x0100;
constexpr uint16_t PHY_SECTION_FLAG = 0x0001;

// Handles every section with `tag` in chain order. The number handled, or -1
// when one failed.
int handle_each_section(EthernetLink& link, const char* tag, const uint8_t* image, int length) {
    int handled = 0;
    int position = 0;
    for (;;) {
        int next = 0;
        int result = find_section(link, tag, position, image, length, &next);
        if (result == -1) return handled;
        if (result == 0) return -1;
        ++handled;
        if (next == 0) return handled;
        position = next;
    }
}

}  // namespace

int download_image(EthernetLink& link, const uint8_t* image, int length, int skip_activation) {
    if (reset_device(link, 0) == 0) {
        std::printf("ERROR: failed to reset device\n");
        return 0;
    }
    if (find_section(link, "ZRPS", 0, image, length, nullptr) == 0) {
        std::printf("ERROR: Failed to download OEM section\n");
        return 0;
    }
    if (handle_each_section(link, "ZRX1", image, length) < 0) {
        std::printf("ERROR: Failed to download X section\n");
        return 0;
    }
    if (load_system_table(link) != SYSTEM_TABLE_SIZE) return 0;
    int tables = handle_each_section(link, "ZRPT", image, length);
    if (tables < 0) {
        std::printf("ERROR: Failed to download table section\n");
        return 0;
    }
    if (tables > 0 && store_system_table(link) == -1) return 0;
    int mac = find_section(link, "ZRPM", 0, image, length, nullptr);
    if (mac == 0) {
        std::printf("ERROR: Failed to download MAC section\n");
        return 0;
    }
    pause_ms(100);
    int phy = find_section(link, "ZRPH", 0, image, length, nullptr);
    if (phy == 0) {
        std::printf("ERROR: Failed to downlaod PHY initialization section\n");
        return 0;
    }
    pause_ms(20);
    if (mac > 0 || phy > 0) {
        uint16_t flags = (mac > 0 ? MAC_SECTION_FLAG : 0) | (phy > 0 ? PHY_SECTION_FLAG : 0);
        message_buffer[MESSAGE_DATA_OFFSET] = uint8_t(flags);
        message_buffer[MESSAGE_DATA_OFFSET + 1] = uint8_t(flags >> 8);
        if (write_block(link, SECTION_FLAGS_ADDRESS, 2, 0) < 1) {
            std::printf("ERROR: Failed to set MAC flag\n");
            return 0;
        }
    }
    pause_ms(10);
    if (!skip_activation && activate_device(link) <= 0) return 0;
    return phy;
}

int download_firmware(EthernetLink& link, const char* path, int skip_activation) {
    std::vector<uint8_t> image(FIRMWARE_IMAGE_SIZE, 0);
    FILE* file = path ? std::fopen(path, "rb") : nullptr;
    if (!file) {
        std::fprintf(stderr, "ERROR: can not open input BINARY file %s\n", path ? path : "");
        return 0;
    }
    int length = int(std::fread(image.data(), 1, image.size(), file));
    if (length == 0) {
        std::fprintf(stderr, "ERROR - failed to read image file content\n");
        std::fclose(file);
        return 0;
    }
    int result = download_image(link, image.data(), length, skip_activation);
    std::fclose(file);
    return result;
}
