#include <gtest/gtest.h>

#include "core/scrambler.h"

namespace ndx {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(Scrambler, FixedVector)
{
    // Key 0x03C5 gives 0x03 for the first byte; the key then becomes 0x2F81.
    EXPECT_EQ(scramble(Bytes{0x00, 0x00}), (Bytes{0x03, 0x2F}));
    EXPECT_EQ(scramble(Bytes{0x41}), (Bytes{0x42}));
    EXPECT_EQ(unscramble(Bytes{0x03, 0x2F}), (Bytes{0x00, 0x00}));
}

TEST(Scrambler, RoundTripKeepsBytesAndLength)
{
    Bytes all;
    for (int i = 0; i < 1024; ++i) all.push_back(static_cast<std::uint8_t>(i * 7 + 3));
    for (const Bytes& plain : {Bytes{}, Bytes{0xFF}, all}) {
        Bytes s = scramble(plain);
        EXPECT_EQ(s.size(), plain.size());
        EXPECT_EQ(unscramble(s), plain);
    }
    EXPECT_NE(scramble(all), all);
}

TEST(Scrambler, KeyFollowsTheScrambledStreamInBothDirections)
{
    // Same first byte, different second byte: only the position after a
    // difference changes, which a key fed from the wrong stream would break.
    Bytes a = scramble(Bytes{1, 2, 3});
    Bytes b = scramble(Bytes{1, 9, 3});
    EXPECT_EQ(a[0], b[0]);
    EXPECT_NE(a[2], b[2]);
    EXPECT_EQ(unscramble(b), (Bytes{1, 9, 3}));
}

}  // namespace
}  // namespace ndx
