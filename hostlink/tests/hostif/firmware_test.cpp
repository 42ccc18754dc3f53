#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <ostream>

#include <string>

#include "fake_device.h"
#include "hostif/firmware.h"
#include "image_builder.h"
#include "output_capture.h"
#include "temp_dir.h"

using testing::HasSubstr;

namespace {

constexpr uint32_t TABLE_BASE = 0x40000;
const uint32_t TABLE_MAXIMA[4] = {1600, 400, 2800, 600};

class Firmware : public HostifTest {
protected:
    void SetUp() override {
        HostifTest::SetUp();
        device.set_word(BOOT_MODE_ADDRESS, 4);
        for (uint32_t id = 0; id < 16; ++id) {
            uint32_t entry = SYSTEM_TABLE_ADDRESS + 12 * id;
            device.set_word(entry, TABLE_BASE + 0x1000 * id);
            device.set_word(entry + 8, id < 4 ? TABLE_MAXIMA[id] : 64);
        }
    }

    int download(const std::vector<uint8_t>& image, int skip_activation = 0) {
        std::string p = dir_.file("image.dat", image);
        return download_firmware(link, p.c_str(), skip_activation);
    }

    bool wrote_at(uint32_t address) const {
        for (const auto& f : sent_with(OPCODE_WRITE_MEMORY))
            if (frame_address(f) == address) return true;
        return false;
    }

    TempDir dir_;
};

TEST_F(Firmware, FullImageLandsWhereItBelongs) {
    auto oem = pattern(108, 1), mac = pattern(40, 2), phy = pattern(300, 3), table = pattern(100, 4);
    auto function = function_image(1, 0x30000, 600);
    auto image = build_image({{"ZRPS", oem}, {"ZRX1", function}, table_section(2, table),
                              {"ZRPM", mac}, {"ZRPH", phy}});
    EXPECT_EQ(download(image), 300);
    EXPECT_EQ(device.bytes(OEM_SECTION_ADDRESS, 108), oem);
    EXPECT_EQ(device.bytes(MAC_SECTION_ADDRESS, 40), mac);
    EXPECT_EQ(device.bytes(PHY_SECTION_ADDRESS, 300), phy);
    EXPECT_EQ(device.bytes(0x30000, 600), function);
    EXPECT_EQ(device.bytes(TABLE_BASE + 0x2000, 100), table);
    EXPECT_EQ(device.word(SYSTEM_TABLE_ADDRESS + 12 * 2 + 4), 100u);  // current size stored
    EXPECT_EQ(device.word(SECTION_FLAGS_ADDRESS) & 0xFFFF, 0x0101u);
    ASSERT_EQ(sent_with(OPCODE_RUN_CODE).size(), 1u);
    EXPECT_EQ(frame_address(sent_with(OPCODE_RUN_CODE)[0]), 0x30000u);
    EXPECT_EQ(sent_with(OPCODE_ACTIVATE).size(), 1u);
    EXPECT_TRUE(wrote_at(RESET_CONTROL_ADDRESS));
    for (const auto& f : sent_with(OPCODE_WRITE_MEMORY)) EXPECT_LE(frame_length_field(f) - 12, 256);
}

TEST_F(Firmware, ImageWithoutParameterSectionsSetsNoFlags) {
    auto image = build_image({table_section(0, pattern(16, 5))});
    EXPECT_EQ(download(image), -1);
    EXPECT_FALSE(wrote_at(SECTION_FLAGS_ADDRESS));
    EXPECT_FALSE(wrote_at(OEM_SECTION_ADDRESS));
    EXPECT_TRUE(wrote_at(SYSTEM_TABLE_ADDRESS));  // the last section of the chain still counts
}

TEST_F(Firmware, OversizedTableIsReportedAndSkipped) {
    auto image = build_image({table_section(3, pattern(700, 6)), {"ZRPM", pattern(8, 7)}});
    capture_stdout();
    EXPECT_EQ(download(image), -1);
    EXPECT_EQ(captured_stdout(), "ERROR: table_id 3 size/idx mismatch [max: 600 size:700]\n");
    EXPECT_FALSE(wrote_at(TABLE_BASE + 0x3000));
    EXPECT_TRUE(wrote_at(MAC_SECTION_ADDRESS));
    EXPECT_EQ(device.word(SECTION_FLAGS_ADDRESS) & 0xFFFF, 0x0100u);
}

TEST_F(Firmware, TableIdBeyondTheDescriptorsShowsMaximumZero) {
    capture_stdout();
    EXPECT_EQ(download(build_image({table_section(16, pattern(4, 1))})), -1);
    EXPECT_EQ(captured_stdout(), "ERROR: table_id 16 size/idx mismatch [max: 0 size:4]\n");
}

TEST_F(Firmware, UnreadableDescriptorsEndTheDownloadAfterTheFunctions) {
    auto answer = link.responder;
    link.responder = [answer](const ScriptedLink::Frame& sent, std::deque<ScriptedLink::Frame>& replies) {
        if (frame_opcode(sent) == OPCODE_READ_MEMORY && frame_address(sent) == SYSTEM_TABLE_ADDRESS) return;
        answer(sent, replies);
    };
    auto image = build_image({{"ZRX1", function_image(1, 0x30000, 64)}, table_section(0, pattern(8, 1)),
                              {"ZRPM", pattern(8, 2)}});
    capture_stdout();
    EXPECT_EQ(download(image), 0);
    EXPECT_EQ(captured_stdout(), "ERROR: failed to load system table\n");
    EXPECT_EQ(sent_with(OPCODE_RUN_CODE).size(), 1u);
    EXPECT_FALSE(wrote_at(TABLE_BASE));
    EXPECT_FALSE(wrote_at(MAC_SECTION_ADDRESS));
}

TEST_F(Firmware, SkippedActivationEndsAfterTheFlagWord) {
    EXPECT_EQ(download(build_image({{"ZRPH", pattern(12, 1)}}), 1), 12);
    EXPECT_TRUE(sent_with(OPCODE_ACTIVATE).empty());
    EXPECT_EQ(frame_address(sent_with(OPCODE_WRITE_MEMORY).back()), SECTION_FLAGS_ADDRESS);
    EXPECT_EQ(CountedPauses::total_ms, 30 + 100 + 20 + 10);
}

TEST_F(Firmware, FunctionsRunInChainOrder) {
    auto image = build_image({{"ZRX1", function_image(1, 0x30000, 40)}, {"ZRPS", pattern(4, 1)},
                              {"ZRX1", function_image(2, 0x31000, 40)}});
    EXPECT_EQ(download(image), -1);
    auto runs = sent_with(OPCODE_RUN_CODE);
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(frame_address(runs[0]), 0x30000u);
    EXPECT_EQ(frame_address(runs[1]), 0x31000u);
}

TEST_F(Firmware, FunctionHeaderMayLeaveBytesUnloaded) {
    auto function = function_image(3, 0x30000, 64, 0x100);
    EXPECT_EQ(download(build_image({{"ZRX1", function}})), -1);
    EXPECT_EQ(device.bytes(0x30000, 64), function);
    EXPECT_FALSE(wrote_at(0x30000 + 64));
}

struct BrokenImage {
    const char* name;
    uint32_t first_offset;
    uint32_t second_next;
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const BrokenImage& c, std::ostream* os) { *os << c.name; }

class BrokenChain : public Firmware, public testing::WithParamInterface<BrokenImage> {};

TEST_P(BrokenChain, EndsTheDownloadWithoutLooping) {
    auto image = build_image({{"ZRX1", function_image(1, 0x30000, 32)}, {"ZRPM", pattern(8, 1)}});
    put_le32(image.data() + 4, GetParam().first_offset);
    put_le32(image.data() + 8 + 8 + 32 + 4, GetParam().second_next);
    capture_stdout();
    EXPECT_EQ(download(image), 0);
    EXPECT_THAT(captured_stdout(), HasSubstr("ERROR: broken section chain at offset"));
}

INSTANTIATE_TEST_SUITE_P(Chains, BrokenChain,
                         testing::Values(BrokenImage{"past_the_file", 0x100000, 0},
                                         BrokenImage{"into_the_header", 4, 0},
                                         BrokenImage{"to_itself", 8, 48},
                                         BrokenImage{"backwards", 8, 8},
                                         BrokenImage{"last_bytes", 8, 60}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Firmware, FunctionLongerThanItsSectionIsRefused) {
    auto function = function_image(1, 0x30000, 64);
    put_le32(function.data() + 20, 4096);
    capture_stdout();
    EXPECT_EQ(download(build_image({{"ZRX1", function}})), 0);
    EXPECT_THAT(captured_stdout(), HasSubstr("ERROR: Failed to download X section\n"));
    EXPECT_TRUE(sent_with(OPCODE_RUN_CODE).empty());
}

TEST_F(Firmware, FunctionWithMoreUnloadedBytesThanItsSizeLoadsNothing) {
    // size - word 7 is below -2^31 here: cut to an int it would read as a
    // length of gigabytes.
    auto function = function_image(1, 0x30000, 64, 0x90000000u);
    put_le32(function.data() + 20, 0x10);
    capture_stdout();
    EXPECT_EQ(download(build_image({{"ZRX1", function}})), 0);
    EXPECT_EQ(captured_stdout(), "ERROR - failed to load extension\n"
                                   "ERROR: Failed to download X section\n");
    EXPECT_FALSE(wrote_at(0x30000));
    EXPECT_TRUE(sent_with(OPCODE_RUN_CODE).empty());
}

TEST_F(Firmware, OverlongParameterSectionIsRefusedNotCut) {
    capture_stdout();
    EXPECT_EQ(download(build_image({{"ZRPS", pattern(65536 + 100, 1)}})), 0);
    EXPECT_EQ(captured_stdout(), "ERROR: section ZRPS of 65636 bytes is longer than 65535 bytes\n"
                                   "ERROR: Failed to download OEM section\n");
    EXPECT_FALSE(wrote_at(OEM_SECTION_ADDRESS));
}

TEST_F(Firmware, UnreadableOrEmptyFile) {
    capture_stderr();
    EXPECT_EQ(download_firmware(link, dir_.path("missing").c_str(), 0), 0);
    EXPECT_EQ(download(std::vector<uint8_t>{}), 0);
    EXPECT_EQ(captured_stderr(), "ERROR: can not open input BINARY file " + dir_.path("missing") +
                                       "\nERROR - failed to read image file content\n");
    EXPECT_TRUE(link.sent.empty());
}

TEST_F(Firmware, SilentDeviceFailsTheReset) {
    device.silent = true;
    capture_stdout();
    EXPECT_EQ(download(build_image({{"ZRPS", pattern(8, 1)}})), 0);
    EXPECT_EQ(captured_stdout(), "ERROR: failed to reset device\n");
}

TEST_F(Firmware, WriteMemoryGoesIn256BytePieces) {
    auto data = pattern(600, 9);
    EXPECT_EQ(write_memory(link, data.data(), 600, 0x9000), 600);
    auto writes = sent_with(OPCODE_WRITE_MEMORY);
    ASSERT_EQ(writes.size(), 3u);
    EXPECT_EQ(frame_length_field(writes[2]) - 12, 88);
    EXPECT_EQ(frame_address(writes[2]), 0x9200u);
    EXPECT_EQ(write_memory(link, data.data(), 0, 0x9000), 0);
    device.silent = true;
    capture_stdout();
    EXPECT_EQ(write_memory(link, data.data(), 4, 0x9000), 0);
    EXPECT_EQ(captured_stdout(), "ERROR: Failed to write block\n");
}

TEST_F(Firmware, FunctionFileOf40Bytes) {
    auto function = function_image(2, 0x32000, 40);
    std::string p = dir_.file("x2.hex", hex_text(function));
    capture_stdout();
    EXPECT_EQ(load_function_file(link, p.c_str()), 40);
    EXPECT_EQ(captured_stdout(), "\n");
    auto writes = sent_with(OPCODE_WRITE_MEMORY);
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(frame_length_field(writes[0]) - 12, 40);
    EXPECT_EQ(frame_address(writes[0]), 0x32000u);
    EXPECT_EQ(device.bytes(0x32000, 40), function);
    ASSERT_EQ(sent_with(OPCODE_RUN_CODE).size(), 1u);
    EXPECT_EQ(link.sent.size(), 2u);  // no wait for the function
}

TEST_F(Firmware, FunctionFileProgressAtDebugThree) {
    debug_level = 3;
    std::string p = dir_.file("x1.hex", hex_text(function_image(1, 0x30000, 300)));
    capture_stdout();
    EXPECT_EQ(load_function_file(link, p.c_str()), 300);
    EXPECT_EQ(captured_stdout(),
              "func=1, order=1, addr=0x00030000, size=0x12c\n"
              "func=1, order=1, addr=0x00030000, size=0x12c \n");
    EXPECT_EQ(sent_with(OPCODE_WRITE_MEMORY).size(), 2u);
}

TEST_F(Firmware, FunctionFileShorterThanItsHeaderStartsNothing) {
    std::string p = dir_.file("x3.hex", hex_text(pattern(20, 1)));
    capture_stdout();
    EXPECT_EQ(load_function_file(link, p.c_str()), 0);
    EXPECT_EQ(captured_stdout(), "ERROR: function file " + p + " is shorter than its 32-byte header\n");
    EXPECT_TRUE(link.sent.empty());
    EXPECT_EQ(load_function_file(link, dir_.path("x4.hex").c_str()), 0);
}

TEST_F(Firmware, FunctionFileWriteFailure) {
    std::string p = dir_.file("x1.hex", hex_text(function_image(1, 0x30000, 64)));
    device.silent = true;
    capture_stdout();
    EXPECT_EQ(load_function_file(link, p.c_str()), 0);
    EXPECT_EQ(captured_stdout(), "Failed to write block\n");
    EXPECT_TRUE(sent_with(OPCODE_RUN_CODE).empty());
}

}  // namespace
