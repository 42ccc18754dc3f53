#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "parameter_definitions.h"

// Two lower-case hex digits per byte, 16 bytes per line; the image builder's
// input format. An empty region gives an empty text.
std::string format_hex_text(std::span<const uint8_t> region);

// The region as 32-bit little-endian words, one "W" script line each, the
// first at first_address. A last partial word is completed with zero bytes.
std::string format_memory_script(std::span<const uint8_t> region, uint32_t first_address);

// One line per parameter in definition order.
std::string format_parameter_dump(const ParameterImage& image);
