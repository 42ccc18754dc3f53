#pragma once

#include <cstddef>
#include <cstdint>

// Cuts a fuzz input into what a target consumes: single bytes and frames.
// A frame record is a two-byte big-endian header, then the frame's bytes:
// bits 0-14 of the header give the frame's length (cut short at the end of
// the input) and bit 15 says that the next record belongs to the same group
// (frames that arrive together). Reading past the end gives zeros and empty
// frames, so every input means something.
class FuzzInput {
public:
    struct Frame {
        const uint8_t* bytes = nullptr;
        size_t length = 0;
        bool more_in_group = false;
    };

    FuzzInput(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    bool empty() const { return position_ >= size_; }

    uint8_t byte() { return empty() ? 0 : data_[position_++]; }

    Frame frame() {
        const unsigned header = unsigned(byte()) << 8 | byte();
        Frame out;
        out.more_in_group = (header & 0x8000) != 0;
        out.length = header & 0x7FFF;
        if (out.length > size_ - position_) out.length = size_ - position_;
        out.bytes = data_ + position_;
        position_ += out.length;
        return out;
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t position_ = 0;
};
