#include "image_walker.h"

#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>

std::uint32_t word_at(const std::vector<std::uint8_t>& image, int offset) {
    if (offset < 0 || static_cast<std::size_t>(offset) + 4 > image.size()) {
        ADD_FAILURE() << "word at " << offset << " lies outside an image of " << image.size() << " bytes";
        return 0;
    }
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = value << 8 | image[static_cast<std::size_t>(offset + i)];
    return value;
}

std::string tag_at(const std::vector<std::uint8_t>& image, int offset) {
    if (offset < 0 || static_cast<std::size_t>(offset) + 4 > image.size()) return "";
    return std::string(image.begin() + offset, image.begin() + offset + 4);
}

std::vector<WalkedSection> walk_sections(const std::vector<std::uint8_t>& image, int first_link) {
    std::vector<WalkedSection> sections;
    std::set<std::uint32_t> seen;
    for (std::uint32_t offset = word_at(image, first_link); offset != 0;) {
        if (!seen.insert(offset).second || offset + 8 > image.size()) {
            ADD_FAILURE() << "broken chain at " << offset;
            break;
        }
        const int at = static_cast<int>(offset);
        const std::uint32_t next = word_at(image, at + 4);
        sections.push_back({at, tag_at(image, at), static_cast<int>(next)});
        offset = next;
    }
    return sections;
}

std::string to_hex_text(const std::vector<std::uint8_t>& bytes) {
    std::string text;
    char digits[3];
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(digits, sizeof digits, "%2.2x", bytes[i]);
        text += digits;
        if (i % 16 == 15 || i + 1 == bytes.size()) text += '\n';
    }
    return text;
}

std::string digits_of(const std::vector<std::uint8_t>& bytes) {
    std::string text;
    char digits[3];
    for (const std::uint8_t b : bytes) {
        std::snprintf(digits, sizeof digits, "%2.2x", b);
        text += digits;
    }
    return text;
}

std::vector<std::uint8_t> counting_bytes(int count, int first) {
    std::vector<std::uint8_t> bytes;
    for (int i = 0; i < count; ++i) bytes.push_back(static_cast<std::uint8_t>(first + i));
    return bytes;
}

BuildResult run_builder(const std::vector<std::string>& args, const InputFiles& files) {
    std::vector<std::string> words{"imgbuild"};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    return build_image(static_cast<int>(words.size()), argv.data(), files);
}

std::string read_test_data(const std::string& name) {
    std::ifstream file(std::string(IMGBUILD_TEST_DATA) + "/" + name, std::ios::binary);
    EXPECT_TRUE(file.good()) << name;
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}
