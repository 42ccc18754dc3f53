#include "boot_stub.h"

namespace {

constexpr BootStub plain_template = {
    0x605F7C00, 0,          0x607F7C00, 0,          0x603FFE00, 0x60BFFE90, 0x609FFE19, 0x08010000,
    0x10008000, 0x5061FA01, 0x40417E04, 0x4020FE04, 0x27FFFD02, 0x12028600, 0x12020600, 0x38018100,
};

constexpr BootStub vector_template = {
    0x605F7C00, 0,          0x607F7C00, 0,          0x603F7C00, 0x00008000, 0x9080FE02, 0x08010000,
    0x10008000, 0x5061FA01, 0x40417E04, 0x4020FE04, 0x27FFFD02, 0x38020100, 0x7FFFFFFF, 0x7FFFFFFF,
};

// Base the boot ROM adds to image offsets when it addresses the image.
constexpr std::uint32_t image_base_address = 0x200000;

}  // namespace

BootStub make_boot_stub(bool with_vector, int code_offset) {
    BootStub stub = with_vector ? vector_template : plain_template;
    stub[1] = image_base_address + static_cast<std::uint32_t>(code_offset);
    return stub;
}

std::uint32_t boot_code_length_words(int code_bytes) {
    return code_bytes > 0 ? static_cast<std::uint32_t>((code_bytes + 3) / 4) : 0;
}

bool critical_code_straddles_cache_line(int boot_stub_offset) { return (boot_stub_offset + 15) % 32 < 3; }
