#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

// The byte values of a hex byte file (extension functions, flash and EEPROM
// images as text): each line is read in pieces of at most 39 characters and
// each piece is parsed from its start in groups of two characters, a group
// being one hexadecimal byte (leading blanks skipped), up to the first group
// that holds no hex digit. Appends to `bytes`.
void read_hex_bytes(FILE* file, std::vector<uint8_t>& bytes);
