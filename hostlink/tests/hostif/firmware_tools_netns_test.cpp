#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
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

// Late, doubled and stray frames: the download either ends with both
// sections and the flag word right in device memory, or fails with -12. A
// device that chatters all the time costs seconds, not minutes.
TEST_F(FirmwareTools, DownloadOnAPoorWireIsRightOrFails) {
    struct Case {
        const char* name;
        std::vector<std::string> fault;
        bool may_fail;
        double seconds;  // at most
        // What shows that the fault was on the wire: a line of the loader at
        // -d 3, or (none) more frames from the device than requests to it.
        const char* shown;
    };
    const char* const resent = "No reply within 100 ms to send 1 of 5\n";
    const Case cases[] = {
        {"every reply 150 ms late", {"--delay-ms", "150"}, true, 30, resent},
        {"every reply twice", {"--dup-prob", "1"}, false, 10, nullptr},
        {"the first copy of every request answered 150 ms late", {"--late-first-ms", "150"}, false, 30, resent},
        {"a stray ZDP frame every 2 ms", {"--stray-zdp-ms", "2"}, false, 5, nullptr},
    };
    const std::string path = image({});
    const std::vector<uint8_t> oem = hex_file_bytes(dir.path("o.hex"));
    std::vector<uint8_t> mac_section = hex_file_bytes(dir.path("m.hex"));
    ASSERT_EQ(oem.size(), 0x6Cu);
    // The section reaches over the flag word, which is written after it:
    // 0x0100, a MAC section and no PHY section.
    ASSERT_GT(mac_section.size(), 0x809Bu - 0x806C);
    mac_section[0x809A - 0x806C] = 0x00;
    mac_section[0x809B - 0x806C] = 0x01;
    char mac_range[32];
    std::snprintf(mac_range, sizeof mac_range, "806C:%zX=", mac_section.size());
    for (const Case& c : cases) {
        const std::string capture = dir.path("frames.pcap");
        std::vector<std::string> options = c.fault;
        options.insert(options.end(), {"--reset-ms", "300", "--busy-ms", "50", "--capture", capture, "--dump",
                                       "8000:6c=" + dir.path("oem.bin"), "--dump", mac_range + dir.path("mac.bin")});
        start(options);
        const auto started = std::chrono::steady_clock::now();
        ProgramRun run = hostlink({"-d", "3", "-l", path});
        const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        devsim->stop();
        if (c.may_fail && run.status == exit_status_of(-12)) continue;
        EXPECT_EQ(run.status, 0) << c.name << "\n" << run.output;
        EXPECT_EQ(TempDir::contents(dir.path("oem.bin")), std::string(oem.begin(), oem.end())) << c.name;
        EXPECT_EQ(TempDir::contents(dir.path("mac.bin")), std::string(mac_section.begin(), mac_section.end()))
            << c.name;
        EXPECT_LT(took, c.seconds) << c.name;
        if (c.shown) {
            EXPECT_NE(run.output.find(c.shown), std::string::npos) << c.name << "\n" << run.output;
            continue;
        }
        const uint8_t device[6] = {0x0A, 0x3F, 0x71, 0x00, 0x00, 0x01};
        int from_device = 0, to_device = 0;
        for (const auto& f : captured_frames(capture)) {
            if (f.size() >= 12) (std::equal(device, device + 6, f.begin() + 6) ? from_device : to_device) += 1;
        }
        EXPECT_GT(from_device, to_device) << c.name;
    }
}

TEST_F(FirmwareTools, DownloadFromASilentDeviceEndsWithStatusMinus12) {
    start({"--silent"});
    std::string path = image({});
    ProgramRun run = hostlink({"-l", path});
    EXPECT_EQ(run.status, exit_status_of(-12));
    EXPECT_NE(run.output.find("ERROR - failed to download firmware\n"), std::string::npos) << run.output;
}

}  // namespace
