#include "scrambler.h"

namespace ndx {
namespace {

constexpr std::uint16_t kInitialKey = 0x03C5;

std::uint16_t nextKey(std::uint16_t key, std::uint8_t scrambledByte)
{
    return static_cast<std::uint16_t>((scrambledByte + key) * 0xB5E3u + 0x6D29u);
}

}  // namespace

std::vector<std::uint8_t> scramble(const std::vector<std::uint8_t>& plain)
{
    std::vector<std::uint8_t> out(plain.size());
    std::uint16_t key = kInitialKey;
    for (std::size_t i = 0; i < plain.size(); ++i) {
        out[i] = static_cast<std::uint8_t>(plain[i] ^ (key >> 8));
        key = nextKey(key, out[i]);
    }
    return out;
}

std::vector<std::uint8_t> unscramble(const std::vector<std::uint8_t>& scrambled)
{
    std::vector<std::uint8_t> out(scrambled.size());
    std::uint16_t key = kInitialKey;
    for (std::size_t i = 0; i < scrambled.size(); ++i) {
        out[i] = static_cast<std::uint8_t>(scrambled[i] ^ (key >> 8));
        key = nextKey(key, scrambled[i]);
    }
    return out;
}

}  // namespace ndx
