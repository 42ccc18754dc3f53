#include "hex_reader.h"

#include "message_log.h"

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

int hex_digit_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

int parse_hex_piece(const char* piece, HexPieceBytes& bytes) {
    int count = 0;
    const char* group = piece;
    while (count < hex_piece_max_bytes && group[0] != '\0') {
        const int group_length = group[1] == '\0' ? 1 : 2;
        int i = 0;
        while (i < group_length && is_blank(group[i])) ++i;
        int value = 0;
        int digits = 0;
        for (; i < group_length && hex_digit_value(group[i]) >= 0; ++i, ++digits) value = value * 16 + hex_digit_value(group[i]);
        if (digits == 0) break;
        bytes[static_cast<std::size_t>(count++)] = static_cast<std::uint8_t>(value);
        group += group_length;
    }
    return count;
}

HexReadResult read_hex_file(const InputFiles& files, const std::string& name, ImageBuffer& image,
                            int& write_position, std::string& log) {
    const auto input = files.open(name);
    if (!input) {
        append_message(log, "ERROR: can not open input hex file %s\n", name.c_str());
        return {-1, false};
    }
    write_position += 8;
    HexReadResult result;
    char piece[hex_piece_capacity];
    HexPieceBytes bytes{};
    while (input->read_piece(piece, hex_piece_capacity)) {
        const int count = parse_hex_piece(piece, bytes);
        for (int i = 0; i < count; ++i) {
            if (!ImageBuffer::holds(write_position, 1)) {
                append_message(log, "ERROR: too much data, current input hex file %s\n", name.c_str());
                return {0, true};
            }
            image.put_byte(write_position++, bytes[static_cast<std::size_t>(i)]);
            ++result.count;
        }
    }
    if (input->failed()) return {-1, false};
    return result;
}
