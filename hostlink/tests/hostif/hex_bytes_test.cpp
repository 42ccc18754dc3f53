#include <gtest/gtest.h>

#include <ostream>

#include <cstdio>
#include <string>
#include <vector>

#include "hostif/hex_bytes.h"

namespace {

struct HexCase {
    const char* name;
    std::string text;
    std::vector<uint8_t> bytes;
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const HexCase& c, std::ostream* os) { *os << c.name; }

class HexBytes : public testing::TestWithParam<HexCase> {};

TEST_P(HexBytes, ParsesPairsUpToTheFirstNonHexGroup) {
    const std::string& text = GetParam().text;
    FILE* file = fmemopen(const_cast<char*>(text.data()), text.size(), "r");
    ASSERT_NE(file, nullptr);
    std::vector<uint8_t> bytes;
    read_hex_bytes(file, bytes);
    std::fclose(file);
    EXPECT_EQ(bytes, GetParam().bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, HexBytes,
    testing::Values(HexCase{"pairs", "0A0b\nff\n", {0x0A, 0x0B, 0xFF}},
                    HexCase{"odd_digit_count", "ABC\n", {0xAB, 0x0C}},
                    HexCase{"comment_and_address_lines", "; note\n@0100\n01\n", {0x01}},
                    HexCase{"stops_at_bad_pair", "0102zz03\n04\n", {0x01, 0x02, 0x04}},
                    HexCase{"no_final_line_end", "0102", {0x01, 0x02}},
                    HexCase{"empty", "", {}},
                    // A 42-digit line is read as 39 characters, each piece parsed alone.
                    HexCase{"long_line", std::string(41, '1') + "2\n",
                            [] {
                                std::vector<uint8_t> v(19, 0x11);
                                v.insert(v.end(), {0x01, 0x11, 0x02});
                                return v;
                            }()}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
