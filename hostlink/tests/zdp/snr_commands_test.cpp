#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "device_memory.h"
#include "output_capture.h"
#include "zdp/snr.h"
#include "zdp/zdp_commands.h"
#include "zdp_fixture.h"

namespace {

class TxCfgTest : public ZdpTest {
protected:
    void SetUp() override {
        ZdpTest::SetUp();
        link.responder = [this](const Frame& sent, std::deque<Frame>& replies) { device.answer(sent, replies); };
    }
    DeviceMemory device;
};

TEST_F(TxCfgTest, WritesPeLengthAndMaskInOrder) {
    EXPECT_EQ(tx_cfg_command(link, "2,4,1,1000\n"), 1);
    using Writes = std::vector<std::pair<uint32_t, uint32_t>>;
    EXPECT_EQ(device.word_writes, (Writes{{0xE04F88, 11}, {0xE04FB8, 3}, {0xE04FBC, 232}, {0xE04020, 1}}));
}

TEST_F(TxCfgTest, RefusedSettings) {
    struct Case {
        const char* argument;
        int result;
        const char* output;
    };
    const Case cases[] = {
        {"1,2,1,2048", 1, ""},
        {"1,2,1,2049", 0, "ERROR: Packet too long for PE, Max=2048 at baud=1,const=2\n"},
        {"4,8,2,65535", 1, ""},
        {"4,8,2,65536", 0, "ERROR: Packet too long for PE, Max=65535 at baud=4,const=8\n"},
        {"1,2,1,-5", 0, "ERROR: Packet too long for PE, Max=2048 at baud=1,const=2\n"},
        {"0,2,1,10", 0, "ERROR: illegal parameters Baud(1-4), Const(2-8), Mask(1-2) Len(>0)\n"},
        {"1,9,1,10", 0, "ERROR: illegal parameters Baud(1-4), Const(2-8), Mask(1-2) Len(>0)\n"},
        {"1,2,3,10", 0, "ERROR: illegal parameters Baud(1-4), Const(2-8), Mask(1-2) Len(>0)\n"},
        {"1,2,1,0", 0, "ERROR: illegal parameters Baud(1-4), Const(2-8), Mask(1-2) Len(>0)\n"},
        {"1,2,1\n", 0, "ERROR: Invalid parameter string for CONFIG_TX: \"1,2,1\n\", aborting...\n"},
    };
    for (const Case& c : cases) {
        device.word_writes.clear();
        capture_stdout();
        EXPECT_EQ(tx_cfg_command(link, c.argument), c.result) << c.argument;
        EXPECT_EQ(captured_stdout(), c.output) << c.argument;
        EXPECT_EQ(device.word_writes.size(), c.result ? 4u : 0u) << c.argument;
    }
}

TEST_F(TxCfgTest, FailedWriteStopsTheSequence) {
    device.failing_writes.insert(0xE04FBC);
    capture_stdout();
    EXPECT_EQ(tx_cfg_command(link, "1,2,1,10"), 0);
    EXPECT_EQ(captured_stdout(), "ERROR: failed to set Packet len LSB\n");
    EXPECT_EQ(device.word_writes.size(), 2u);
}

// Runs each test in a fresh directory holding the sample files it writes.
class CalcSnrTest : public ::testing::Test {
protected:
    void SetUp() override {
        original_ = std::filesystem::current_path();
        char pattern[] = "/tmp/calc_snr_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        directory_ = pattern;
        std::filesystem::current_path(directory_);
        debug_level = 0;
    }
    void TearDown() override {
        std::filesystem::current_path(original_);
        std::filesystem::remove_all(directory_);
        debug_level = 0;
    }

    static void write_words(const std::string& name, const std::vector<uint32_t>& words) {
        std::ofstream file(name, std::ios::binary);
        for (uint32_t word : words) {
            char bytes[4] = {static_cast<char>(word), static_cast<char>(word >> 8), static_cast<char>(word >> 16),
                             static_cast<char>(word >> 24)};
            file.write(bytes, 4);
        }
    }
    // Sixteen good samples with the given accumulator values and the transmission settings.
    static void write_set(const std::vector<uint32_t>& values, uint32_t baud, uint32_t constellation, uint32_t mask,
                          uint32_t length) {
        for (int i = 1; i <= 16; ++i) {
            write_words("snr_crc" + std::to_string(i) + ".mat", {0});
            uint32_t value = values[(i - 1) % values.size()];
            write_words("snr_sea" + std::to_string(i) + ".mat", {value & 0xFFFF, value >> 16});
        }
        write_words("snr_baud.mat", {baud - 1});
        write_words("snr_const.mat", {constellation});
        write_words("snr_mask.mat", {mask});
        write_words("snr_len.mat", {length});
    }
    static double run(std::string* output) {
        capture_stdout();
        double snr = calc_snr_command();
        *output = captured_stdout();
        return snr;
    }

private:
    std::filesystem::path original_;
    std::filesystem::path directory_;
};

TEST_F(CalcSnrTest, VaryingSamplesGiveTheResultLine) {
    // Mean accumulator 600 over length 100 at baud 1, const 2, mask 1: 524288 / 6.
    write_set({500, 700}, 1, 2, 1, 100);
    std::string output;
    double snr = run(&output);
    double expected = 10 * std::log10(524288.0 / 6.0);
    EXPECT_NEAR(snr, expected, 1e-4);
    char line[128];
    std::snprintf(line, sizeof line, "%f,1,2,1,100\n", snr);
    EXPECT_EQ(output, line);
}

TEST_F(CalcSnrTest, ProblemSetsGiveZeroWithOneMessage) {
    struct Case {
        const char* name;
        std::function<void()> prepare;
        const char* output;
    };
    const Case cases[] = {
        {"all values equal", [] { write_set({600}, 1, 2, 1, 100); }, "ERROR: No valid snr samples\n"},
        {"sample 16 flagged bad",
         [] {
             write_set({500, 700}, 1, 2, 1, 100);
             write_words("snr_crc16.mat", {2});
         },
         "ERROR: bad snr sample\n"},
        {"snr_crc9.mat missing",
         [] {
             write_set({500, 700}, 1, 2, 1, 100);
             std::remove("snr_crc9.mat");
         },
         ""},
        {"all values zero", [] { write_set({0}, 1, 2, 1, 100); }, "ERROR: No valid snr samples\n"},
        {"length 0", [] { write_set({500, 700}, 1, 2, 1, 0); }, ""},
    };
    for (const Case& c : cases) {
        for (const auto& entry : std::filesystem::directory_iterator(".")) std::filesystem::remove(entry.path());
        c.prepare();
        std::string output;
        EXPECT_EQ(run(&output), 0.0) << c.name;
        EXPECT_EQ(output, c.output) << c.name;
    }
}

TEST_F(CalcSnrTest, BadSampleIsSkippedAndMissingSettingsAreReported) {
    // Sample 5 flagged bad: its huge value would otherwise dominate the mean.
    write_set({500, 700}, 2, 4, 2, 100);
    write_words("snr_sea5.mat", {0, 0xFFFF});
    write_words("snr_crc5.mat", {2});
    std::string output;
    double snr = run(&output);
    // Fifteen kept values: seven of 500 and eight of 700.
    double mean = (7 * 500.0 + 8 * 700.0) / 15;
    EXPECT_NEAR(snr, 10 * std::log10(262144.0 / (0.2509 * 0.2509 * mean / 100)), 1e-3);

    std::remove("snr_mask.mat");
    debug_level = 1;
    EXPECT_EQ(run(&output), 0.0);
    EXPECT_EQ(output, "Failed to open snr_mask.mat\nInvalid trans values(100,2,4,0)\n");
}

TEST_F(CalcSnrTest, MaskOneAtBaudThreeIsInfinite) {
    write_set({500, 700}, 3, 2, 1, 100);
    std::string output;
    EXPECT_TRUE(std::isinf(run(&output)));
    EXPECT_EQ(output, "inf,3,2,1,100\n");
}

}  // namespace
