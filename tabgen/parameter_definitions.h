#pragma once

#include <array>
#include <cstdint>
#include <string_view>

// The device keeps the parameter image at this address; image byte k lives at
// device_parameter_address + k.
constexpr uint32_t device_parameter_address = 0x8000;

constexpr int image_size = 428;
using ParameterImage = std::array<uint8_t, image_size>;

// Section layout. Each section opens with a 32-bit length field that counts the
// bytes after the field; the device expects exactly these values.
constexpr int section1_offset = 0;
constexpr int section2_offset = 108;
constexpr int section3_offset = 360;
constexpr uint32_t section1_length = 104;
constexpr uint32_t section2_length = 248;
constexpr uint32_t section3_length = 64;

constexpr int mac_addr_offset = 96;
constexpr int mac_addr_size = 6;

// One parameter: where it lies in the image and what the device gets when the
// parameter file does not name it. Integers (size 1, 2, 4) use default_value;
// byte arrays and text fields use default_bytes, the rest of the field is zero.
struct ParameterDefinition {
    const char* name;
    int offset;
    int size;
    uint32_t default_value;
    std::string_view default_bytes;
};

constexpr int parameter_count = 202;
extern const std::array<ParameterDefinition, parameter_count> parameter_definitions;

// Offset and size of a parameter by exact, case-sensitive name; size 0 when
// the name is not defined.
struct ParameterLocation {
    int offset = 0;
    int size = 0;
};
ParameterLocation find_parameter(std::string_view name);

ParameterImage default_parameter_image();

// Little-endian access to the image and the tables.
void store_le(uint8_t* target, int width, uint32_t value);
uint32_t load_le(const uint8_t* source, int width);

// Forces the three length fields to the values the device expects, whatever
// the defaults or the parameter file said.
void set_section_lengths(ParameterImage& image);
