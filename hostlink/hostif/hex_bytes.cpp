#include "hex_bytes.h"

#include <cstring>

namespace {

constexpr int PIECE_SIZE = 40;  // 39 characters and the terminator

}  // namespace

void read_hex_bytes(FILE* file, std::vector<uint8_t>& bytes) {
    char piece[PIECE_SIZE];
    while (std::fgets(piece, PIECE_SIZE, file)) {
        size_t length = std::strlen(piece);
        for (size_t i = 0; i < length; i += 2) {
            unsigned value;
            if (std::sscanf(piece + i, "%2x", &value) != 1) break;
            bytes.push_back(uint8_t(value));
        }
    }
}
