#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

// The 1 MiB buffer the image is assembled in. Every byte starts as 0xFF so
// padding and gaps read as erased memory. Writes that would land outside the
// buffer are dropped: positions come from input sizes, and an input that runs
// past the end is reported by the reader, never written past it.
// Only the bytes up to about the furthest write are held; the rest of the
// megabyte reads as erased, so a small image costs a small buffer.
class ImageBuffer {
public:
    static constexpr int size = 0x100000;

    static bool holds(int offset, int width) { return offset >= 0 && width <= size && offset <= size - width; }

    void put_byte(int offset, std::uint8_t value) {
        if (holds(offset, 1)) span(offset, 1)[0] = value;
    }
    // Little-endian, like every multi-byte field of the image.
    void put_word(int offset, std::uint32_t value) {
        if (!holds(offset, 4)) return;
        std::uint8_t* bytes = span(offset, 4);
        for (int i = 0; i < 4; ++i) bytes[i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
    // Section tags are four ASCII bytes in reading order.
    void put_tag(int offset, const char* tag) {
        if (!holds(offset, 4)) return;
        std::uint8_t* bytes = span(offset, 4);
        for (int i = 0; i < 4; ++i) bytes[i] = static_cast<std::uint8_t>(tag[i]);
    }

    // The first `length` bytes (clamped to the buffer): what gets written out.
    std::vector<std::uint8_t> prefix(int length) const {
        if (length < 0) length = 0;
        if (length > size) length = size;
        std::vector<std::uint8_t> out(static_cast<std::size_t>(length), 0xFF);
        const std::size_t held = std::min(out.size(), bytes_.size());
        std::copy(bytes_.begin(), bytes_.begin() + static_cast<std::ptrdiff_t>(held), out.begin());
        return out;
    }

private:
    // The held bytes at [offset, offset + width), growing the held part
    // (erased) to reach them; it at least doubles, so that writing byte
    // after byte does not grow it each time. The caller has checked holds().
    std::uint8_t* span(int offset, int width) {
        const std::size_t end = static_cast<std::size_t>(offset) + static_cast<std::size_t>(width);
        if (end > bytes_.size())
            bytes_.resize(std::min(std::max(end, 2 * bytes_.size()), static_cast<std::size_t>(size)), 0xFF);
        return bytes_.data() + offset;
    }

    std::vector<std::uint8_t> bytes_;
};
