#include "image_builder.h"

#include <gtest/gtest.h>

#include "exit_status.h"
#include "image_walker.h"

namespace {

std::string without_blanks(std::string text) {
    std::erase(text, ' ');
    return text;
}

// The input files every case may name.
MemoryFiles standard_files() {
    MemoryFiles files;
    files.add("five.hex", "0102030405\n");
    files.add("eight.hex", "1112131415161718\n");
    files.add("ten.hex", "a0a1a2a3a4a5a6a7a8a9\n");
    files.add("boot.hex", "00010203040506070809\n");
    files.add("notes.hex", ":1000 address line\n; comment 12\n\n0A0b\n");
    files.add("empty.hex", "");
    files.add("vector300.hex", to_hex_text(counting_bytes(300, 0x30)));
    files.add("data2032.hex", to_hex_text(counting_bytes(2032)));
    files.add("data2033.hex", to_hex_text(counting_bytes(2033)));
    return files;
}

struct GoldenCase {
    const char* name;
    std::vector<std::string> args;
    std::string image_digits;  // blanks ignored
    std::string messages;
};

TEST(ImageBuilder, BuildsGoldenImages) {
    const std::string stub_plain_from_word4 =
        "00fe3f60 90febf60 19fe9f60 00000108 00800010 01fa6150 047e4140 04fe2040 02fdff27 00860212 00060212 00810138";
    const GoldenCase cases[] = {
        {"no options", {}, "5a523131 00000000", ""},
        {"OEM then manufacturer section", {"-o", "five.hex", "-m", "eight.hex"},
         "5a523131 08000000 5a525053 18000000 0102030405 ffffff 5a52504d 00000000 1112131415161718", ""},
        {"hardware and extension sections", {"-i", "five.hex", "-x", "five.hex"},
         "5a523131 08000000 5a525048 18000000 0102030405 ffffff 5a525831 00000000 0102030405 ffffff", ""},
        {"table with id 2", {"-2", "ten.hex"},
         "5a523131 08000000 5a525054 00000000 0a000002 a0a1a2a3a4a5a6a7a8a9 ffff", ""},
        {"tables 3 and 0 in command-line order", {"-3", "five.hex", "-0", "five.hex"},
         "5a523131 08000000 5a525054 1c000000 05000003 0102030405 ffffff 5a525054 00000000 05000000 0102030405 ffffff",
         ""},
        {"flash format alone", {"-F"}, "00011f38 40000000 5a523231 00000000", ""},
        {"flash format after a section", {"-o", "five.hex", "-F"},
         "5a523131 08000000 5a525053 00000000 0102030405 ffffff", "ERROR: -F given too late, ignoring!!!\n"},
        {"flash format with boot code", {"-F", "-j", "boot.hex"},
         "80020020 ffffff7f 5a523231 10000000 5a525830 00000000 007c5f60 58002000 007c7f60 03000000 " +
             stub_plain_from_word4 + " 00010203040506070809 ffff",
         ""},
        {"lines without hex digits add nothing", {"-o", "notes.hex"}, "5a523131 08000000 5a525053 00000000 0a0bffff",
         ""},
        {"19-bit format marks offset 0", {"-B", "-o", "five.hex"},
         "5a523139 08000000 5a525053 00000000 0102030405 ffffff", ""},
        {"19-bit format replaces the boot branch", {"-B", "-j", "boot.hex"},
         "5a523139 ffffff7f 5a525830 00000000 007c5f60 50002000 007c7f60 03000000 " + stub_plain_from_word4 +
             " 00010203040506070809 ffff",
         ""},
        {"19-bit with flash keeps the flash header", {"-F", "-B"}, "00011f38 40000000 5a523231 00000000",
         "ERROR: both -B and -F used, ignored!!!\n"},
        {"empty boot code ends the options", {"-j", "empty.hex", "-x", "empty.hex"},
         "80010020 00000000 5a525830 ffffffff 007c5f60 50002000 007c7f60 00000000 " + stub_plain_from_word4, ""},
        {"vector after a section is refused", {"-o", "five.hex", "-v", "vector300.hex", "-m", "eight.hex"},
         "5a523131 08000000 5a525053 18000000 0102030405 ffffff 5a52504d 00000000 1112131415161718",
         "ERROR: vector definition must be first!!!\n"},
        {"first word that is no option ends the options", {"-o", "five.hex", "stray", "-m", "eight.hex"},
         "5a523131 08000000 5a525053 00000000 0102030405 ffffff", ""},
        {"double dash ends the options", {"-o", "five.hex", "--", "-m", "eight.hex"},
         "5a523131 08000000 5a525053 00000000 0102030405 ffffff", ""},
        {"slash options and attached arguments", {"/ofive.hex", "/m", "eight.hex"},
         "5a523131 08000000 5a525053 18000000 0102030405 ffffff 5a52504d 00000000 1112131415161718", ""},
        {"2048 bytes fit 11-bit memory", {"-o", "data2032.hex"}, "", ""},
        {"2049 bytes do not", {"-o", "data2033.hex"}, "", "too much data for 11-bit address I2C memory!!!\n"},
        {"flash is not checked against 11-bit memory", {"-F", "-o", "data2033.hex"}, "", ""},
    };
    const MemoryFiles files = standard_files();
    for (const GoldenCase& c : cases) {
        const BuildResult result = run_builder(c.args, files);
        EXPECT_EQ(result.status, exit_status::image_written) << c.name;
        EXPECT_TRUE(result.output_due) << c.name;
        if (!c.image_digits.empty()) {
            EXPECT_EQ(digits_of(result.image), without_blanks(c.image_digits)) << c.name;
        }
        EXPECT_EQ(result.messages, c.messages) << c.name;
    }
}

// An input that cannot be opened or read ends the run before anything is
// written, whichever option names it: the image would lack its section.
TEST(ImageBuilder, UnreadableInputEndsTheRunWithoutAnImage) {
    const std::string cannot_open = "ERROR: can not open input hex file missing.hex\n";
    const std::string cannot_read = "ERROR: can not read input file missing.hex\n";
    const std::vector<std::vector<std::string>> cases = {
        {"-o", "five.hex", "-m", "missing.hex", "-x", "empty.hex"},
        {"-o", "five.hex", "-2", "missing.hex"},
        {"-i", "missing.hex"},
        {"-x", "missing.hex"},
        {"-F", "-j", "missing.hex"},
        {"-v", "missing.hex", "-o", "five.hex"},
        {"-3", "missing.hex"},
    };
    const MemoryFiles files = standard_files();
    for (const auto& args : cases) {
        const BuildResult result = run_builder(args, files);
        EXPECT_EQ(result.status, exit_status::input_unreadable) << args[1];
        EXPECT_FALSE(result.output_due) << args[1];
        EXPECT_EQ(result.messages, cannot_open + cannot_read) << args[1];
    }
}

TEST(ImageBuilder, ElevenBitWarningStillWritesTheWholeImage) {
    const BuildResult result = run_builder({"-o", "data2033.hex"}, standard_files());
    ASSERT_EQ(result.image.size(), 2052u);
    EXPECT_EQ(digits_of({result.image.begin() + 16, result.image.begin() + 16 + 2033}),
              digits_of(counting_bytes(2033)));
}

TEST(ImageBuilder, InputPastTheBufferEndsTheRun) {
    MemoryFiles files = standard_files();
    files.add("huge.hex", to_hex_text(std::vector<std::uint8_t>(0x100000, 0x5a)));
    files.add("fills.hex", to_hex_text(std::vector<std::uint8_t>(0x100000 - 16, 0x5a)));
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string messages;
    };
    const std::string too_much = "ERROR: too much data, current input hex file ";
    const Case cases[] = {
        {{"-o", "huge.hex"}, -13, too_much + "huge.hex\n"},
        {{"-2", "huge.hex"}, -12, too_much + "huge.hex\n"},
        {{"-o", "fills.hex", "-x", "five.hex"}, -16, too_much + "five.hex\n"},
        {{"-j", "huge.hex"}, exit_status::boot_code_too_large, too_much + "huge.hex\n"},
        {{"-v", "huge.hex"}, exit_status::vector_too_large, too_much + "huge.hex\n"},
    };
    for (const Case& c : cases) {
        const BuildResult result = run_builder(c.args, files);
        EXPECT_EQ(result.status, c.status) << c.args[1];
        EXPECT_FALSE(result.output_due) << c.args[1];
        EXPECT_EQ(result.messages, c.messages) << c.args[1];
    }
    const BuildResult full = run_builder({"-o", "fills.hex"}, files);
    EXPECT_EQ(full.status, 0);
    EXPECT_EQ(full.image.size(), 0x100000u);
}

TEST(ImageBuilder, VectorFileComesFirstAndMovesTheHeader) {
    const BuildResult result = run_builder({"-v", "vector300.hex", "-o", "five.hex"}, standard_files());
    ASSERT_EQ(result.status, 0);
    EXPECT_EQ(result.messages, "ERROR: alternate vector without boot code!!!\n");
    ASSERT_EQ(result.image.size(), 544u);
    EXPECT_EQ(digits_of({result.image.begin(), result.image.begin() + 300}), digits_of(counting_bytes(300, 0x30)));
    EXPECT_EQ(digits_of({result.image.begin() + 300, result.image.begin() + 520}), std::string(440, 'f'));
    EXPECT_EQ(tag_at(result.image, 520), "ZR11");
    const auto sections = walk_sections(result.image, 524);
    ASSERT_EQ(sections.size(), 1u);
    EXPECT_EQ(sections[0].offset, 528);
    EXPECT_EQ(sections[0].tag, "ZRPS");
}

TEST(ImageBuilder, BootCodeWithVectorUsesTheVectorStub) {
    const BuildResult result = run_builder({"-v", "vector300.hex", "-j", "boot.hex"}, standard_files());
    ASSERT_EQ(result.status, 0);
    EXPECT_EQ(result.messages, "");
    // The stub lies at J = 536; the branch replaces the first vector bytes.
    EXPECT_EQ(word_at(result.image, 0), 0x20000000u | (536u - 4) << 5);
    EXPECT_EQ(word_at(result.image, 4), 0x7FFFFFFFu);
    EXPECT_EQ(result.image[8], 0x38);
    EXPECT_EQ(word_at(result.image, 536 + 4), 0x200000u + 600);
    EXPECT_EQ(word_at(result.image, 536 + 12), 3u);
    EXPECT_EQ(word_at(result.image, 536 + 16), 0x603F7C00u);
    EXPECT_EQ(word_at(result.image, 536 + 60), 0x7FFFFFFFu);
}

TEST(ImageBuilder, VectorRegionLimits) {
    MemoryFiles files = standard_files();
    files.add("largest.hex", to_hex_text(std::vector<std::uint8_t>(0xFF00, 0x11)));
    files.add("too_large.hex", to_hex_text(std::vector<std::uint8_t>(0xFF01, 0x11)));
    const BuildResult largest = run_builder({"-v", "largest.hex", "-j", "boot.hex"}, files);
    EXPECT_EQ(largest.status, 0);
    EXPECT_EQ(tag_at(largest.image, 0xFF08), "ZR11");
    EXPECT_EQ(tag_at(largest.image, 0xFF10), "ZRX0");
    const BuildResult too_large = run_builder({"-v", "too_large.hex", "-j", "boot.hex"}, files);
    EXPECT_EQ(too_large.status, exit_status::vector_too_large);
    EXPECT_EQ(too_large.messages, "ERROR: too much data, current input hex file too_large.hex\n");
    EXPECT_FALSE(too_large.output_due);
}

TEST(ImageBuilder, RepeatedOptionsWarnAndTheLaterOneCounts) {
    const MemoryFiles files = standard_files();
    const BuildResult jumps = run_builder({"-j", "boot.hex", "-j", "five.hex"}, files);
    EXPECT_EQ(jumps.messages, "WARNNING: multiple jump address given!!!\n");
    // The second stub follows the first section (8 + 72 + 12 bytes).
    EXPECT_EQ(word_at(jumps.image, 0), 0x20000000u | (100u - 4) << 5);
    // The branch took the header's first-section field; the chain still links both.
    EXPECT_EQ(word_at(jumps.image, 12), 92u);
    EXPECT_EQ(word_at(jumps.image, 96), 0u);

    const BuildResult vectors = run_builder({"-v", "vector300.hex", "-v", "five.hex", "-j", "boot.hex"}, files);
    EXPECT_EQ(vectors.messages,
              "WARNNING: multiple vector definitions given!!!\nERROR: vector definition must be first!!!\n");
    EXPECT_EQ(tag_at(vectors.image, 520), "ZR11");
    EXPECT_EQ(tag_at(vectors.image, 528), "ZRX0");

    const BuildResult flash_then_vector = run_builder({"-F", "-v", "vector300.hex", "-F", "-B"}, files);
    EXPECT_EQ(flash_then_vector.messages,
              "ERROR: -F given too late, ignoring!!!\nERROR: alternate vector without boot code!!!\n"
              "ERROR: both -B and -F used, ignored!!!\n");
    EXPECT_EQ(word_at(flash_then_vector.image, 0), 0x381F0100u);
    EXPECT_EQ(tag_at(flash_then_vector.image, 520), "ZR21");
    EXPECT_EQ(word_at(flash_then_vector.image, 524), 0u);
}

TEST(ImageBuilder, NineteenBitMarkerSitsAfterTheVector) {
    const BuildResult result = run_builder({"-v", "vector300.hex", "-B", "-j", "boot.hex"}, standard_files());
    EXPECT_EQ(tag_at(result.image, 512), "ZR19");
    EXPECT_EQ(tag_at(result.image, 520), "ZR11");
    EXPECT_EQ(word_at(result.image, 4), 0x7FFFFFFFu);
}

}  // namespace
