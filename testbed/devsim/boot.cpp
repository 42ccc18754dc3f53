#include "boot.h"

#include <algorithm>
#include <cstring>

#include "frame_layout.h"

namespace {

constexpr uint32_t table_count = 16;
constexpr uint32_t descriptor_size = 12;
constexpr size_t max_vector_region = 65280;
// A section body is at most this long (the length is a 16-bit quantity).
constexpr size_t max_body = 65535;

struct TableRoom {
    uint32_t address;
    uint32_t maximum;
};
// Room for the four QoS tables; the other twelve ids have none.
constexpr TableRoom table_room[4] = {
    {0x3B000, 2048},  // classifier rules
    {0x3B800, 512},   // classifier filters
    {0x3BA00, 3072},  // flow parameters
    {0x3C600, 1024},  // static addresses
};

bool tag_at(const std::vector<uint8_t>& image, size_t offset, const char* tag) {
    return offset + 4 <= image.size() && std::memcmp(image.data() + offset, tag, 4) == 0;
}

uint32_t word_at(const std::vector<uint8_t>& image, size_t offset) { return frame::get32le(image.data() + offset); }

// Offset of the word that holds the first section's offset, or 0 when the
// image has no header of the wanted format.
size_t chain_start(const std::vector<uint8_t>& image, bool flash_format) {
    if (flash_format) {
        for (size_t v = 0; v <= max_vector_region; v += 256)
            if (tag_at(image, v + 8, "ZR21")) return v + 12;
        return 0;
    }
    if (tag_at(image, 0, "ZR11") || tag_at(image, 0, "ZR19")) return 4;
    for (size_t v = 256; v <= max_vector_region; v += 256)
        if (tag_at(image, v + 8, "ZR11")) return v + 12;
    return 0;
}

// The last section has no successor to end it: it ends where the part's
// erased tail begins (section bodies are padded to whole words).
size_t used_end(const std::vector<uint8_t>& image, size_t from) {
    size_t end = image.size();
    while (end > from && image[end - 1] == 0xFF) --end;
    return std::min(image.size(), (end + 3) & ~size_t{3});
}

}  // namespace

bool read_boot_image(const std::vector<uint8_t>& image, bool flash_format, std::vector<ImageSection>& sections) {
    sections.clear();
    size_t link = chain_start(image, flash_format);
    if (link == 0 || link + 4 > image.size()) return false;
    size_t position = word_at(image, link);
    size_t previous = link;
    while (position != 0) {
        if (position <= previous || position + 8 > image.size()) return false;
        size_t next = word_at(image, position + 4);
        if (next != 0 && (next <= position || next + 8 > image.size())) return false;
        ImageSection s;
        s.tag.assign(reinterpret_cast<const char*>(image.data() + position), 4);
        s.body = position + 8;
        size_t end = next != 0 ? next : used_end(image, s.body);
        s.length = std::min(end > s.body ? end - s.body : 0, max_body);
        s.room = (next != 0 ? next : image.size()) - s.body;
        sections.push_back(s);
        previous = position;
        position = next;
    }
    return true;
}

void boot_from_image(Device& device, const std::vector<uint8_t>& image, bool flash_format) {
    std::vector<ImageSection> sections;
    if (!read_boot_image(image, flash_format, sections)) {
        device.memory.write_half(device_address::fw_version, 0);
        return;
    }
    SparseMemory& memory = device.memory;
    for (const auto& s : sections) {
        const uint8_t* body = image.data() + s.body;
        if (s.tag == "ZRPS") {
            memory.write(boot_address::oem_parameters, body, s.length);
        } else if (s.tag == "ZRPM") {
            memory.write(boot_address::manufacturer_parameters, body, s.length);
        } else if (s.tag == "ZRPH") {
            memory.write(boot_address::hardware_init, body, s.length);
        } else if (s.tag == "ZRPT" && s.room >= 4) {
            uint32_t head = frame::get32le(body);
            uint32_t id = head >> 24, length = head & 0xFFFFFF;
            if (id >= table_count || length > s.room - 4) continue;
            uint32_t descriptor = boot_address::table_descriptors + id * descriptor_size;
            if (length > memory.read_word(descriptor + 8)) continue;
            memory.write(memory.read_word(descriptor), body + 4, length);
            memory.write_word(descriptor + 4, length);
        }
    }
    device.memory.write_half(device_address::fw_version, device.options.fw_version);
}

void preset_table_descriptors(SparseMemory& memory) {
    for (uint32_t id = 0; id < table_count; ++id) {
        uint32_t descriptor = boot_address::table_descriptors + id * descriptor_size;
        TableRoom room = id < 4 ? table_room[id] : TableRoom{0, 0};
        memory.write_word(descriptor, room.address);
        memory.write_word(descriptor + 4, 0);
        memory.write_word(descriptor + 8, room.maximum);
    }
}

BootLoader::BootLoader(Device& device, const NonvolatileMemory& flash, const NonvolatileMemory& eeprom)
    : device_(device), flash_(flash), eeprom_(eeprom) {
    preset_table_descriptors(device_.memory);
    device_.after_reset([this] {
        uint32_t mode = device_.memory.read_word(device_address::boot_mode);
        if (mode == boot_mode::from_flash)
            boot_from_image(device_, flash_.bytes, true);
        else if (mode == boot_mode::from_eeprom)
            boot_from_image(device_, eeprom_.bytes, false);
    });
}
