#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "hostif/host_interface.h"

// Boot/configuration images and function files as the image builder and the
// parameter compiler would write them, for the download tests.

struct ImageSection {
    std::string tag;
    std::vector<uint8_t> body;
};

inline void append_le32(std::vector<uint8_t>& out, uint32_t value) {
    for (int i = 0; i < 4; ++i) out.push_back(uint8_t(value >> (8 * i)));
}

// The plain I2C image: "ZR11", the first section's offset, then the chain.
inline std::vector<uint8_t> build_image(const std::vector<ImageSection>& sections) {
    std::vector<uint8_t> image{'Z', 'R', '1', '1'};
    append_le32(image, sections.empty() ? 0 : 8);
    for (size_t i = 0; i < sections.size(); ++i) {
        size_t start = image.size();
        image.insert(image.end(), sections[i].tag.begin(), sections[i].tag.end());
        append_le32(image, 0);
        image.insert(image.end(), sections[i].body.begin(), sections[i].body.end());
        while (image.size() % 4) image.push_back(0xFF);
        if (i + 1 < sections.size()) put_le32(image.data() + start + 4, uint32_t(image.size()));
    }
    return image;
}

inline std::vector<uint8_t> pattern(int n, int seed) {
    std::vector<uint8_t> out;
    for (int i = 0; i < n; ++i) out.push_back(uint8_t(i * 7 + seed));
    return out;
}

inline ImageSection table_section(int id, const std::vector<uint8_t>& bytes) {
    ImageSection s{"ZRPT", {}};
    append_le32(s.body, uint32_t(id) << 24 | uint32_t(bytes.size()));
    s.body.insert(s.body.end(), bytes.begin(), bytes.end());
    return s;
}

// An extension function of `total` bytes whose header names the load address.
inline std::vector<uint8_t> function_image(uint32_t number, uint32_t address, int total,
                                           uint32_t unloaded = 0) {
    std::vector<uint8_t> f = pattern(total, int(number));
    put_le32(f.data(), 1);                        // order
    put_le32(f.data() + 12, number);
    put_le32(f.data() + 16, address);
    put_le32(f.data() + 20, uint32_t(total) + unloaded);  // size
    put_le32(f.data() + 28, unloaded);
    return f;
}

inline std::string hex_text(const std::vector<uint8_t>& bytes) {
    std::string text;
    char pair[3];
    for (size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(pair, sizeof pair, "%02x", bytes[i]);
        text += pair;
        if (i % 16 == 15 || i + 1 == bytes.size()) text += "\n";
    }
    return text;
}
