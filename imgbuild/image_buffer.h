#pragma once

#include <cstdint>
#include <vector>

// The 1 MiB buffer the image is assembled in. Every byte starts as 0xFF so
// padding and gaps read as erased memory. Writes that would land outside the
// buffer are dropped: positions come from input sizes, and an input that runs
// past the end is reported by the reader, never written past it.
class ImageBuffer {
public:
    static constexpr int size = 0x100000;

    ImageBuffer() : bytes_(size, 0xFF) {}

    static bool holds(int offset, int width) { return offset >= 0 && width <= size && offset <= size - width; }

    void put_byte(int offset, std::uint8_t value) {
        if (holds(offset, 1)) bytes_[static_cast<std::size_t>(offset)] = value;
    }
    // Little-endian, like every multi-byte field of the image.
    void put_word(int offset, std::uint32_t value) {
        if (!holds(offset, 4)) return;
        for (int i = 0; i < 4; ++i) bytes_[static_cast<std::size_t>(offset + i)] = static_cast<std::uint8_t>(value >> (8 * i));
    }
    // Section tags are four ASCII bytes in reading order.
    void put_tag(int offset, const char* tag) {
        if (!holds(offset, 4)) return;
        for (int i = 0; i < 4; ++i) bytes_[static_cast<std::size_t>(offset + i)] = static_cast<std::uint8_t>(tag[i]);
    }

    // The first `length` bytes (clamped to the buffer): what gets written out.
    std::vector<std::uint8_t> prefix(int length) const {
        if (length < 0) length = 0;
        if (length > size) length = size;
        return std::vector<std::uint8_t>(bytes_.begin(), bytes_.begin() + length);
    }

private:
    std::vector<std::uint8_t> bytes_;
};
