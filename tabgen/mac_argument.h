#pragma once

#include <array>
#include <cstdint>

// Checks and converts the -M text. Accepted: at most 64 characters, exactly
// six tokens separated by ':', '-' or blanks, each between 0 and 255 in C
// notation. The octets are the tokens read as hexadecimal (low 8 bits), so
// "0A-3F-71-00-00-07" and "0x0A:0x3F:0x71:0:0:7" give the same address.
bool parse_mac_argument(const char* text, std::array<uint8_t, 6>& mac);
