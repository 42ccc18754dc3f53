#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "image_buffer.h"
#include "input_files.h"

// Hex text is read in pieces of at most 39 characters (a line of up to 38
// digits plus its line feed); each piece is parsed from its own start.
constexpr int hex_piece_capacity = 40;
// 39 characters make at most 20 groups, the last one a single character.
constexpr int hex_piece_max_bytes = hex_piece_capacity / 2;

using HexPieceBytes = std::array<std::uint8_t, hex_piece_max_bytes>;

// Parses one piece in groups of two characters: blanks at the front of a
// group are skipped, its hex digits make one byte, and the first group
// without a hex digit (or the end of the text) ends the piece. Returns the
// number of bytes placed in `bytes`.
int parse_hex_piece(const char* piece, HexPieceBytes& bytes);

struct HexReadResult {
    // -1: the file could not be opened or read; otherwise the bytes stored,
    // 0 when the file was empty or ran past the buffer.
    int count = 0;
    bool overflowed = false;
};

// Reads the named hex file into `image`: first advances `write_position` by 8
// (the room for a section's tag and next-field), then stores each byte at the
// write position and advances it. Stops with count 0 as soon as a byte would
// land past the buffer.
HexReadResult read_hex_file(const InputFiles& files, const std::string& name, ImageBuffer& image,
                            int& write_position, std::string& log);
