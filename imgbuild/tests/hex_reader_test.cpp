#include "hex_reader.h"

#include <gtest/gtest.h>

#include "image_walker.h"

namespace {

struct ReadCase {
    const char* name;
    std::string text;
    std::string expected_digits;
};

// Reads `text` as a section file starting at offset 0 and returns the bytes stored.
std::string read_text(const std::string& text) {
    MemoryFiles files;
    files.add("in.hex", text);
    ImageBuffer image;
    int position = -8;
    std::string log;
    const HexReadResult read = read_hex_file(files, "in.hex", image, position, log);
    EXPECT_EQ(log, "");
    EXPECT_EQ(position, read.count);
    return digits_of(image.prefix(read.count));
}

TEST(HexReader, ReadsLinesInGroupsOfTwoCharacters) {
    const ReadCase cases[] = {
        {"mixed case pair", "0A0b\n", "0a0b"},
        {"parameter compiler line", "68000000030a11181f262d343b424950\n", "68000000030a11181f262d343b424950"},
        {"empty file", "", ""},
        {"empty line", "\n\n", ""},
        {"address line", ":1000\n", ""},
        {"comment line", "; 12 34\n", ""},
        {"comment after data", "12;34\n", "12"},
        {"blank leads a group", "12 34\n", "120304"},
        {"odd digit count ends in a one-digit byte", "ABC\n", "ab0c"},
        {"no final line feed", "ABC", "ab0c"},
        {"carriage returns", "12\r\n34\r\n", "1234"},
        {"digit then letter in one group", "1G23\n", "0123"},
        {"group without a digit ends the line", "G123\n34\n", "34"},
        {"0x is read as two groups", "0x12\n", "0012"},
        {"38 digits fit one piece", "00112233445566778899aabbccddeeff001122\n", "00112233445566778899aabbccddeeff001122"},
        {"40 digits are read in two pieces", "00112233445566778899aabbccddeeff00112233\n",
         "00112233445566778899aabbccddeeff0011220303"},
        {"NUL ends its piece", std::string("12\0" "34\n56\n", 8), "1256"},
        {"binary garbage", "\xff\xfe\x01\x80" "12\n", ""},
    };
    for (const ReadCase& c : cases) EXPECT_EQ(read_text(c.text), c.expected_digits) << c.name;
}

TEST(HexReader, HandEditedSampleGivesItsDataLines) {
    EXPECT_EQ(read_text(read_test_data("hand_edited.hex")), "0a0bfffe");
}

TEST(HexReader, StopsAtTheBufferEnd) {
    struct Case {
        std::string text;
        int count;
        bool overflowed;
    };
    const Case cases[] = {{"0102\n", 2, false}, {"010203\n", 0, true}};
    for (const Case& c : cases) {
        MemoryFiles files;
        files.add("big.hex", c.text);
        ImageBuffer image;
        int position = ImageBuffer::size - 10;
        std::string log;
        const HexReadResult read = read_hex_file(files, "big.hex", image, position, log);
        EXPECT_EQ(read.count, c.count) << c.text;
        EXPECT_EQ(read.overflowed, c.overflowed) << c.text;
        EXPECT_EQ(log, c.overflowed ? "ERROR: too much data, current input hex file big.hex\n" : "") << c.text;
        EXPECT_EQ(digits_of(image.prefix(ImageBuffer::size)).substr(2 * (ImageBuffer::size - 2)), "0102");
    }
}

}  // namespace
