#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "devsim_process.h"
#include "hostif/firmware.h"
#include "hostif/flash.h"
#include "hostif/host_interface.h"
#include "image_builder.h"
#include "link/ethernet_link.h"
#include "startup/interface_selection.h"
#include "startup/settings.h"
#include "temp_dir.h"

namespace {

constexpr int FLASH_SIZE = 1 << 20;

// Firmware download and mailbox programming against devsim on the veth pair.
class FirmwareOnVeth : public testing::Test {
protected:
    void SetUp() override {
        if (!std::getenv("HL_IFACE")) GTEST_SKIP() << "runs only inside the test namespace";
        reset_header_template();
        debug_level = 0;
        ASSERT_EQ(link.initialize(), ZDK_SUCCESS);
        const uint8_t address[4] = {192, 0, 2, 2};
        ASSERT_TRUE(select_interface_by_address(link, address));
        char filter[160];
        format_device_filter(filter, sizeof filter);
        ASSERT_EQ(link.set_filter(filter), ZDK_SUCCESS);
    }
    void TearDown() override {
        if (devsim) devsim->stop();
        link.close();
    }

    void start(std::vector<std::string> options) {
        devsim = std::make_unique<DevsimProcess>(std::move(options));
        ASSERT_TRUE(devsim->ready()) << devsim->output();
    }

    // Flash and EEPROM with no waits of their own, persisted in the test's directory.
    std::vector<std::string> parts(std::vector<std::string> more = {}) {
        std::vector<std::string> options{"--flash", dir.path("flash.bin"), "--eeprom", dir.path("eeprom.bin"),
                                         "--erase-ms", "0", "--program-ms", "0"};
        options.insert(options.end(), more.begin(), more.end());
        return options;
    }

    std::string stopped_contents(const std::string& name) {
        devsim->stop();
        return TempDir::contents(dir.path(name));
    }

    static std::string erased_with(const std::vector<uint8_t>& data, size_t size) {
        std::string expected(size, '\xFF');
        std::memcpy(expected.data(), data.data(), data.size());
        return expected;
    }

    EthernetLink link;
    std::unique_ptr<DevsimProcess> devsim;
    TempDir dir;
};

TEST_F(FirmwareOnVeth, BinaryFlashImageLandsByteForByte) {
    start(parts());
    auto image = pattern(70000, 9);
    std::string path = dir.file("image.dat", image);
    EXPECT_EQ(program_flash_binary(link, path.c_str()), 70000);
    EXPECT_EQ(stopped_contents("flash.bin"), erased_with(image, FLASH_SIZE));
}

TEST_F(FirmwareOnVeth, HexFlashImageLandsByteForByte) {
    start(parts());
    auto image = pattern(65536 + 300, 4);
    std::string path = dir.file("image.hex", hex_text(image));
    EXPECT_EQ(program_flash_hex(link, path.c_str()), 65536 + 300);
    EXPECT_EQ(stopped_contents("flash.bin"), erased_with(image, FLASH_SIZE));
}

TEST_F(FirmwareOnVeth, FailingPieceFailsTheProgramming) {
    start(parts({"--prog-fail", "1"}));
    std::string path = dir.file("image.dat", pattern(70000, 9));
    EXPECT_EQ(program_flash_binary(link, path.c_str()), 0);
}

TEST_F(FirmwareOnVeth, EraseFlashClearsAnOldImage) {
    dir.file("flash.bin", std::string(FLASH_SIZE, '\0'));
    start(parts({"--erase-ms", "300"}));
    debug_level = 3;
    testing::internal::CaptureStdout();
    EXPECT_EQ(erase_flash(link), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "flash erased!\n");
    EXPECT_EQ(stopped_contents("flash.bin"), std::string(FLASH_SIZE, '\xFF'));
}

TEST_F(FirmwareOnVeth, LargeEepromFromBinaryFile) {
    start(parts({"--eeprom-size", "large"}));
    auto data = pattern(65536 + 100, 6);
    std::string path = dir.file("eeprom.bin", data);
    EXPECT_EQ(program_eeprom_binary(link, path.c_str(), 1), 100);
    std::string eeprom = stopped_contents("eeprom.bin");
    ASSERT_GE(eeprom.size(), data.size());
    EXPECT_EQ(eeprom.substr(0, data.size()), std::string(data.begin(), data.end()));
}

TEST_F(FirmwareOnVeth, SmallEepromFromHexFile) {
    start(parts());
    auto data = pattern(300, 8);
    std::string path = dir.file("eeprom.hex", hex_text(data));
    EXPECT_EQ(program_eeprom_hex(link, path.c_str(), 0), 300);
    EXPECT_EQ(stopped_contents("eeprom.bin").substr(0, 300), std::string(data.begin(), data.end()));
}

TEST_F(FirmwareOnVeth, DownloadedImageStandsInMemory) {
    std::string dump = dir.path("oem.bin"), tables = dir.path("descriptors.bin");
    start({"--busy-ms", "50", "--reset-ms", "100", "--dump", "8000:6c=" + dump, "--dump",
           "3aab4:c0=" + tables});
    auto oem = pattern(108, 1);
    auto image = build_image({{"ZRPS", oem}, {"ZRX1", function_image(1, 0x30000, 200)},
                              table_section(1, pattern(64, 2)), {"ZRPM", pattern(40, 3)},
                              {"ZRPH", pattern(24, 4)}});
    std::string path = dir.file("image.dat", image);
    EXPECT_EQ(download_firmware(link, path.c_str(), 0), 24);
    uint32_t flags = 0;
    ASSERT_EQ(read_word(link, SECTION_FLAGS_ADDRESS, &flags), 0);
    EXPECT_EQ(flags & 0xFFFF, 0x0101u);
    devsim->stop();
    EXPECT_EQ(TempDir::contents(dump), std::string(oem.begin(), oem.end()));
    std::string descriptors = TempDir::contents(tables);
    ASSERT_EQ(descriptors.size(), 192u);
    EXPECT_EQ(get_le32(reinterpret_cast<const uint8_t*>(descriptors.data()) + 12 + 4), 64u);
}

TEST_F(FirmwareOnVeth, FunctionFileIsLoadedAndStarted) {
    std::string dump = dir.path("function.bin");
    start({"--busy-ms", "50", "--dump", "31000:28=" + dump});
    auto function = function_image(2, 0x31000, 40);
    std::string path = dir.file("x2.hex", hex_text(function));
    EXPECT_EQ(load_function_file(link, path.c_str()), 40);
    uint32_t value;
    EXPECT_GT(wait_for_device(link, 0, 4, 5, &value, 1), 0);
    devsim->stop();
    EXPECT_EQ(TempDir::contents(dump), std::string(function.begin(), function.end()));
}

}  // namespace
