#pragma once
// Keyed byte-stream transform that keeps the parameter file unreadable on disk.

#include <cstdint>
#include <vector>

namespace ndx {

std::vector<std::uint8_t> scramble(const std::vector<std::uint8_t>& plain);
std::vector<std::uint8_t> unscramble(const std::vector<std::uint8_t>& scrambled);

}  // namespace ndx
