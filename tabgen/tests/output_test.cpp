#include "output_writers.h"

#include <gtest/gtest.h>

#include <vector>

#include "test_support.h"

TEST(Output, HexTextEndsEveryLineIncludingAShortLastOne) {
    std::string sixteen;
    for (int i = 0; i < 16; ++i) sixteen += "ab";
    EXPECT_EQ(format_hex_text(std::vector<uint8_t>{}), "");
    EXPECT_EQ(format_hex_text(std::vector<uint8_t>(16, 0xAB)), sixteen + "\n");
    EXPECT_EQ(format_hex_text(std::vector<uint8_t>(17, 0xAB)), sixteen + "\nab\n");
}

TEST(Output, MemoryScriptWritesLittleEndianWordsAndPadsTheLastOne) {
    const std::vector<uint8_t> two_addresses = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    EXPECT_EQ(format_memory_script(two_addresses, 0x8000), "W,8000,04030201\nW,8004,08070605\nW,8008,0C0B0A09\n");
    const std::vector<uint8_t> one_address = {0xA, 0xB, 0xC, 0xD, 0xE, 0xF};
    EXPECT_EQ(format_memory_script(one_address, 0x8000), "W,8000,0D0C0B0A\nW,8004,00000F0E\n");
    EXPECT_EQ(format_memory_script(std::vector<uint8_t>{}, 0x8000), "");
    EXPECT_EQ(format_memory_script(std::vector<uint8_t>(4, 0xFF), 0x1806C), "W,1806C,FFFFFFFF\n");
}

TEST(Output, DumpShowsEveryParameterByItsKind) {
    ParameterImage image = default_parameter_image();
    set_section_lengths(image);
    const std::vector<std::string> lines = split_lines(format_parameter_dump(image));
    ASSERT_EQ(lines.size(), 202u);
    EXPECT_EQ(lines[0], "nm=section1_length                  addr=0x8000 sz=4  val=0x00000068");
    EXPECT_EQ(lines[3], "nm=PM_CAPLIST                       addr=0x8006 sz=2  val=0x0002");
    EXPECT_EQ(lines[8], "nm=USB_Manufacturer                 addr=0x8010 sz=20 val=\"Talvenrick\"");
    EXPECT_EQ(lines[24], "nm=MAC_ADDR                         addr=0x8060 sz=6  val=0A:3F:71:00:00:02");
    EXPECT_EQ(lines[26], "nm=TALVENRICK_OUI                   addr=0x8068 sz=3  val=0A:3F:71");
    EXPECT_EQ(lines[27], "nm=DEVICE_TYPE                      addr=0x806B sz=1  val=0x00");
    EXPECT_EQ(lines[201], "nm=REGP_MAX_EP_BE_BW                addr=0x81AA sz=2  val=0x0064");

    // A text field without a NUL stops at its end.
    const ReadOutcome full = read_text("USB_Serial = \"ABCDEFGHIJKLMNOP\"\nEXT_MEMORY_MODE = 0x4141\n", 0);
    const std::vector<std::string> full_lines = split_lines(format_parameter_dump(full.parameters.image));
    EXPECT_EQ(full_lines[10], "nm=USB_Serial                       addr=0x8038 sz=14 val=\"ABCDEFGHIJKLMN\"");
}
