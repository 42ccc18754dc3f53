#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A flash part or serial EEPROM: erased bytes read 0xFF. Optionally kept in
// a file between runs: loaded at start (a missing file is an erased part)
// and written back at exit.
class NonvolatileMemory {
public:
    NonvolatileMemory(uint32_t size, std::string path) : bytes(size, 0xFF), path_(std::move(path)) {}

    // Gives false with a message when the file exists but cannot be used.
    bool load(std::string& error);
    // Gives false with a message when the file cannot be written.
    bool save(std::string& error) const;

    uint32_t size() const { return static_cast<uint32_t>(bytes.size()); }
    void erase() { std::fill(bytes.begin(), bytes.end(), 0xFF); }

    std::vector<uint8_t> bytes;

private:
    std::string path_;
};
