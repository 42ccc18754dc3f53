#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "device.h"
#include "nonvolatile_memory.h"

namespace boot_address {
constexpr uint32_t oem_parameters = 0x8000;           // ZRPS
constexpr uint32_t manufacturer_parameters = 0x806C;  // ZRPM
constexpr uint32_t hardware_init = 0x38AB4;           // ZRPH
constexpr uint32_t table_descriptors = 0x3AAB4;
}  // namespace boot_address

// Boot mode register values after which the device boots from its own
// memory. Every other value leaves it waiting for a download.
namespace boot_mode {
constexpr uint32_t from_flash = 4;
constexpr uint32_t from_eeprom = 3;
}  // namespace boot_mode

// One section of a boot image as the boot code finds it.
struct ImageSection {
    std::string tag;
    size_t body = 0;    // offset of the body in the image
    size_t length = 0;  // body bytes
    size_t room = 0;    // bytes from the body to the next section or the image end
};

// Walks the section chain of an image held in a flash part ("ZR21" header)
// or an I2C EEPROM ("ZR11"/"ZR19"), with or without a vector region in
// front. Gives false when there is no header or the chain leaves the image
// or does not move forward.
bool read_boot_image(const std::vector<uint8_t>& image, bool flash_format, std::vector<ImageSection>& sections);

// Loads a valid image's parameter sections and tables into memory and sets
// the firmware version word; an invalid one leaves memory alone and clears
// the version word.
void boot_from_image(Device& device, const std::vector<uint8_t>& image, bool flash_format);

// The system table descriptors as the firmware sets them up at power-on.
void preset_table_descriptors(SparseMemory& memory);

// After each reset, boots from the part the boot mode register names.
class BootLoader {
public:
    BootLoader(Device& device, const NonvolatileMemory& flash, const NonvolatileMemory& eeprom);

private:
    Device& device_;
    const NonvolatileMemory& flash_;
    const NonvolatileMemory& eeprom_;
};
