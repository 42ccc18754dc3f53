#include "sparse_memory.h"

#include <algorithm>
#include <cstring>

void SparseMemory::read(uint32_t address, uint8_t* out, size_t count) const {
    while (count > 0) {
        uint32_t offset = address & (page_size - 1);
        size_t chunk = std::min<size_t>(count, page_size - offset);
        auto it = pages_.find(address >> page_bits);
        if (it == pages_.end())
            std::memset(out, 0, chunk);
        else
            std::memcpy(out, it->second->data() + offset, chunk);
        out += chunk;
        count -= chunk;
        address += static_cast<uint32_t>(chunk);
    }
}

void SparseMemory::write(uint32_t address, const uint8_t* bytes, size_t count) {
    while (count > 0) {
        uint32_t offset = address & (page_size - 1);
        size_t chunk = std::min<size_t>(count, page_size - offset);
        auto& page = pages_[address >> page_bits];
        if (!page) page = std::make_unique<Page>(Page{});
        std::memcpy(page->data() + offset, bytes, chunk);
        bytes += chunk;
        count -= chunk;
        address += static_cast<uint32_t>(chunk);
    }
}

uint32_t SparseMemory::read_word(uint32_t address) const {
    uint8_t b[4];
    read(address, b, 4);
    return b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<uint32_t>(b[3]) << 24);
}

void SparseMemory::write_word(uint32_t address, uint32_t value) {
    uint8_t b[4];
    for (int i = 0; i < 4; ++i) b[i] = static_cast<uint8_t>(value >> (8 * i));
    write(address, b, 4);
}

void SparseMemory::write_half(uint32_t address, uint16_t value) {
    uint8_t b[2] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8)};
    write(address, b, 2);
}
