#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "devsim_process.h"
#include "hostif/hex_bytes.h"
#include "run_program.h"
#include "temp_dir.h"

// The firmware tools end to end: the parameter compiler and the image
// builder make the image, `hostlink` programs or downloads it into devsim.
namespace {

const char* const DEVICE_MAC = "0A:3F:71:00:00:01";
const char* const IMAGE_MAC = "0A:3F:71:12:34:56";  // the MAC the image carries

std::string tool(const char* name) { return std::string(BIN_DIR) + "/" + name; }

std::vector<uint8_t> hex_file_bytes(const std::string& path) {
    std::vector<uint8_t> bytes;
    if (FILE* file = std::fopen(path.c_str(), "r")) {
        read_hex_bytes(file, bytes);
        std::fclose(file);
    }
    return bytes;
}

class FirmwareTools : public testing::Test {
protected:
    void SetUp() override {
        if (!std::getenv("HL_IFACE")) GTEST_SKIP() << "runs only inside the test namespace";
        for (const char* name : {"tabgen", "imgbuild", "hostlink"})
            if (access(tool(name).c_str(), X_OK) != 0) GTEST_SKIP() << name << " is not built";
    }
    void TearDown() override {
        if (devsim) devsim->stop();
    }

    void start(std::vector<std::string> options) {
        devsim = std::make_unique<DevsimProcess>(std::move(options));
        ASSERT_TRUE(devsim->ready()) << devsim->output();
    }

    // One parameter region as hex text, compiled with the image's MAC.
    std::string region(const char* option) {
        std::string parameters = std::string(SOURCE_DIR) + "/kit/Tool/prm_NDX470.inf";
        ProgramRun run = run_program(tool("tabgen"), {"-f", parameters, "-M", IMAGE_MAC, option});
        EXPECT_EQ(run.status, 0) << run.output;
        return dir.file(std::string(option + 1) + ".hex", run.output);
    }

    std::string image(std::vector<std::string> format) {
        std::string path = dir.path("image.dat");
        std::vector<std::string> arguments;
        arguments.insert(arguments.end(), format.begin(), format.end());
        arguments.insert(arguments.end(), {"-Y", "-f", path, "-o", region("-o"), "-m", region("-m")});
        ProgramRun run = run_program(tool("imgbuild"), arguments);
        EXPECT_EQ(run.status, 0) << run.output;
        return path;
    }

    ProgramRun hostlink(std::vector<std::string> mode) {
        std::vector<std::string> arguments{"-M", DEVICE_MAC, "-a", "192.0.2.2"};
        arguments.insert(arguments.end(), mode.begin(), mode.end());
        return run_program(HOSTLINK_BINARY, arguments, "", 60);
    }

    ProgramRun script(const std::string& text) { return hostlink({"-s", dir.file("script.txt", text)}); }

    std::unique_ptr<DevsimProcess> devsim;
    TempDir dir;
};

TEST_F(FirmwareTools, ProgrammedFlashBootsWithTheImagesMac) {
    std::string flash = dir.path("flash.bin"), mac = dir.path("mac.bin");
    start({"--flash", flash, "--erase-ms", "0", "--program-ms", "0", "--reset-ms", "100", "--dump",
           "8060:6=" + mac});
    std::string path = image({"-F"});
    ProgramRun run = script("PROG_F,0," + path + "\nRESET,0\nR,8060\n");
    EXPECT_EQ(run.status, 0) << run.output;
    devsim->stop();
    std::string written = TempDir::contents(path);
    std::string programmed = TempDir::contents(flash);
    ASSERT_GE(programmed.size(), written.size());
    EXPECT_EQ(programmed.substr(0, written.size()), written);
    EXPECT_EQ(programmed.find_first_not_of('\xFF', written.size()), std::string::npos);
    EXPECT_EQ(TempDir::contents(mac), std::string("\x0A\x3F\x71\x12\x34\x56", 6));
}

TEST_F(FirmwareTools, FailingPieceFailsTheScript) {
    start({"--flash", dir.path("flash.bin"), "--erase-ms", "0", "--program-ms", "0", "--prog-fail", "0"});
    std::string path = image({"-F"});
    ProgramRun run = script("PROG_F,0," + path + "\n");
    EXPECT_EQ(run.status, exit_status_of(-77));
    EXPECT_NE(run.output.find("ERROR: failed to program flash from file " + path + "\n"), std::string::npos)
        << run.output;
}

TEST_F(FirmwareTools, LargeEepromTakesTwoPieces) {
    std::string eeprom = dir.path("eeprom.bin");
    start({"--eeprom", eeprom, "--eeprom-size", "large", "--program-ms", "0"});
    std::string data(65536 + 100, '\0');
    for (size_t i = 0; i < data.size(); ++i) data[i] = char(i * 7 + i / 256);
    ProgramRun run = script("PROG_E,1," + dir.file("eeprom.dat", data) + "\n");
    EXPECT_EQ(run.status, 0) << run.output;
    devsim->stop();
    EXPECT_EQ(TempDir::contents(eeprom).substr(0, data.size()), data);
}

TEST_F(FirmwareTools, DownloadedI2cImageStandsAt0x8000) {
    std::string oem = dir.path("oem.bin");
    start({"--reset-ms", "100", "--busy-ms", "50", "--dump", "8000:6c=" + oem});
    std::string path = image({});
    ProgramRun run = hostlink({"-l", path});
    EXPECT_EQ(run.status, 0) << run.output;
    devsim->stop();
    std::vector<uint8_t> section = hex_file_bytes(dir.path("o.hex"));
    ASSERT_EQ(section.size(), 0x6cu);
    EXPECT_EQ(TempDir::contents(oem), std::string(section.begin(), section.end()));
}

TEST_F(FirmwareTools, DownloadFromASilentDeviceEndsWithStatusMinus12) {
    start({"--silent"});
    std::string path = image({});
    ProgramRun run = hostlink({"-l", path});
    EXPECT_EQ(run.status, exit_status_of(-12));
    EXPECT_NE(run.output.find("ERROR - failed to download firmware\n"), std::string::npos) << run.output;
}

}  // namespace
