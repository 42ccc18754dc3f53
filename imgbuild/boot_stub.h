#pragma once

#include <array>
#include <cstdint>

// The sixteen-word boot stub that precedes boot code: it copies the code into
// place and jumps to it. Its words belong to the device's processor and boot
// ROM; the builder only fills in where the code lies and how long it is.
constexpr int boot_stub_words = 16;
constexpr int boot_stub_bytes = boot_stub_words * 4;
using BootStub = std::array<std::uint32_t, boot_stub_words>;

// Copies the plain template (no vector file) or the vector template and sets
// word 1 to 0x200000 + code_offset. Word 3 (the code length) is set once the
// code has been read, with boot_code_length_words.
BootStub make_boot_stub(bool with_vector, int code_offset);

std::uint32_t boot_code_length_words(int code_bytes);

// Index of the stub word that holds the code length.
constexpr int boot_stub_length_word = 3;

// Whether the stub placed at `boot_stub_offset` would have critical code
// straddle a 32-byte cache line. The rule in use is (J + 15) mod 32 < 3,
// which a 4-byte aligned stub never meets; which stub words are critical
// depends on the boot ROM and is to be settled here once it is known.
bool critical_code_straddles_cache_line(int boot_stub_offset);
