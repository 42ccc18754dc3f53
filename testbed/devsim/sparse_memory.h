#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <unordered_map>

// The device's 32-bit byte-addressed memory. Only pages that were written
// take space; every byte never written reads 0. Addresses wrap at 2^32.
class SparseMemory {
public:
    void read(uint32_t address, uint8_t* out, size_t count) const;
    void write(uint32_t address, const uint8_t* bytes, size_t count);
    uint32_t read_word(uint32_t address) const;
    void write_word(uint32_t address, uint32_t value);
    void write_half(uint32_t address, uint16_t value);

private:
    static constexpr uint32_t page_bits = 12;
    static constexpr uint32_t page_size = 1u << page_bits;
    using Page = std::array<uint8_t, page_size>;
    std::unordered_map<uint32_t, std::unique_ptr<Page>> pages_;
};

// The analog front end's 32 one-byte serial registers, selected by the low
// five bits of the address.
class AfeRegisters {
public:
    static constexpr uint32_t count = 32;
    void read(uint32_t address, uint8_t* out, size_t n) const {
        for (size_t i = 0; i < n; ++i) out[i] = registers_[(address + i) & (count - 1)];
    }
    void write(uint32_t address, const uint8_t* bytes, size_t n) {
        for (size_t i = 0; i < n; ++i) registers_[(address + i) & (count - 1)] = bytes[i];
    }

private:
    std::array<uint8_t, count> registers_{};
};
