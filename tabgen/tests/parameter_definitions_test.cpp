#include "parameter_definitions.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

TEST(ParameterDefinitions, LayoutIsGaplessAndSectionsLandWhereTheDeviceExpects) {
    int next_offset = 0;
    std::set<std::string> names;
    for (const ParameterDefinition& definition : parameter_definitions) {
        EXPECT_EQ(definition.offset, next_offset) << definition.name;
        EXPECT_TRUE(std::set<int>({1, 2, 3, 4, 6, 8, 14, 20}).count(definition.size)) << definition.name;
        EXPECT_LE(std::strlen(definition.name), 51u);
        EXPECT_TRUE(names.insert(definition.name).second) << "duplicate " << definition.name;
        next_offset += definition.size;
    }
    EXPECT_EQ(next_offset, image_size);
    EXPECT_EQ(find_parameter("section1_length").offset, section1_offset);
    EXPECT_EQ(find_parameter("section2_length").offset, section2_offset);
    EXPECT_EQ(find_parameter("section3_length").offset, section3_offset);
    EXPECT_EQ(find_parameter("MAC_ADDR").offset, mac_addr_offset);
    EXPECT_EQ(parameter_definitions.back().offset + parameter_definitions.back().size, image_size);
}

TEST(ParameterDefinitions, FindIsExactAndCaseSensitive) {
    EXPECT_EQ(find_parameter("USB_VID").offset, 12);
    EXPECT_EQ(find_parameter("USB_VID").size, 2);
    EXPECT_EQ(find_parameter("LLC_TIMER_INTERVAL").offset, 356);
    EXPECT_EQ(find_parameter("REGP_MAX_EP_BE_BW").offset, 426);
    EXPECT_EQ(find_parameter("usb_vid").size, 0);
    EXPECT_EQ(find_parameter("USB_VI").size, 0);
    EXPECT_EQ(find_parameter("").size, 0);
}

TEST(ParameterDefinitions, DefaultImageHoldsEveryKindOfValue) {
    const ParameterImage image = default_parameter_image();
    struct Case {
        int offset;
        std::vector<uint8_t> bytes;
    };
    const Case cases[] = {
        {0, {4, 0, 0, 0}},                          // section1_length before it is forced
        {5, {63}},                                  // HOST_MODE_OVERRIDE
        {12, {0x2D, 0x6B, 0x11, 0x80}},             // USB_VID, USB_PID
        {16, {'T', 'a', 'l', 'v', 'e', 'n', 'r', 'i', 'c', 'k', 0, 0}},
        {56, {'0', '0', '7', 0}},                   // USB_Serial
        {96, {0x0A, 0x3F, 0x71, 0x00, 0x00, 0x02}}, // MAC_ADDR
        {104, {0x0A, 0x3F, 0x71, 0x00}},            // TALVENRICK_OUI, DEVICE_TYPE
        {108, {152, 0, 0, 0}},                      // section2_length before it is forced
        {112, {0xFF, 0xFF, 0xFF, 0x7F}},            // OPTIONS_MASK
        {248, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0}},  // NTR_DST_ADDR
        {368, {255, 255}},                          // REV, ID_SPACE
        {426, {100, 0}},                            // REGP_MAX_EP_BE_BW
    };
    for (const Case& c : cases) {
        EXPECT_EQ(std::vector<uint8_t>(image.begin() + c.offset, image.begin() + c.offset + c.bytes.size()), c.bytes)
            << "offset " << c.offset;
    }
}

TEST(ParameterDefinitions, SectionLengthsAreForced) {
    ParameterImage image{};
    image.fill(0xEE);
    set_section_lengths(image);
    EXPECT_EQ(load_le(image.data() + 0, 4), 104u);
    EXPECT_EQ(load_le(image.data() + 108, 4), 248u);
    EXPECT_EQ(load_le(image.data() + 360, 4), 64u);
    EXPECT_EQ(image[4], 0xEE);
}
