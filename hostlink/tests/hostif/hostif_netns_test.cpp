#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

#include "devsim_process.h"
#include "hostif/host_interface.h"
#include "hostif/memory_file.h"
#include "hostif/pause.h"
#include "image_builder.h"
#include "link/ethernet_link.h"
#include "output_capture.h"
#include "startup/interface_selection.h"
#include "settings/settings.h"
#include "temp_dir.h"

namespace {

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Keeps the polling passes of a wait on a silent device short.
void short_pause(int) { std::this_thread::sleep_for(std::chrono::milliseconds(1)); }

// The loader's side of the veth pair, talking to devsim on the other end.
class HostifOnVeth : public testing::Test {
protected:
    void SetUp() override {
        if (!std::getenv("HL_IFACE")) GTEST_SKIP() << "runs only inside the test namespace";
        reset_header_template();
        forget_reply_history();
        debug_level = 0;
        const uint8_t mac[6] = {0x0A, 0x3F, 0x71, 0x00, 0x00, 0x01};
        std::memcpy(device_mac, mac, 6);
        ASSERT_EQ(link.initialize(), ZDK_SUCCESS);
        const uint8_t address[4] = {192, 0, 2, 2};
        ASSERT_TRUE(select_interface_by_address(link, address));
        ASSERT_EQ(link.is_open(), 1);
        char filter[160];
        format_device_filter(filter, sizeof filter);
        ASSERT_EQ(link.set_filter(filter), ZDK_SUCCESS);
    }
    void TearDown() override {
        if (devsim) devsim->stop();
        link.close();
        set_pause_function(nullptr);
    }

    void start(std::vector<std::string> options) {
        devsim = std::make_unique<DevsimProcess>(std::move(options));
        ASSERT_TRUE(devsim->ready()) << devsim->output();
    }

    // Host-interface requests the device received, in order.
    std::vector<std::vector<uint8_t>> requests(const std::string& capture) const {
        std::vector<std::vector<uint8_t>> out;
        for (auto& f : captured_frames(capture))
            if (f.size() >= 32 && std::memcmp(f.data() + 6, pc_mac, 6) == 0 && f[14] == 0x80) out.push_back(f);
        return out;
    }

    EthernetLink link;
    std::unique_ptr<DevsimProcess> devsim;
    TempDir dir;
};

TEST_F(HostifOnVeth, WordsBlocksAndSerialRegisters) {
    start({});
    uint32_t value = 0;
    ASSERT_EQ(write_word(link, 0x9000, 0x12345678), 0);
    ASSERT_EQ(read_word(link, 0x9000, &value), 0);
    EXPECT_EQ(value, 0x12345678u);

    auto data = pattern(1400, 3);
    std::memcpy(message_buffer + MESSAGE_DATA_OFFSET, data.data(), data.size());
    ASSERT_EQ(write_block(link, 0x20000, 1400, 0), 1400);
    std::memset(message_buffer + MESSAGE_DATA_OFFSET, 0, 1400);
    ASSERT_EQ(read_block(link, 0x20000, 1400, 0), 1400);
    EXPECT_EQ(std::memcmp(message_buffer + MESSAGE_DATA_OFFSET, data.data(), 1400), 0);

    ASSERT_EQ(write_serial(link, 0x07, 0xA5), 0);
    ASSERT_EQ(read_serial(link, 0x07, &value), 0);
    EXPECT_EQ(value, 0xA5u);
    ASSERT_EQ(read_word(link, 0x07, &value), 0);
    EXPECT_EQ(value, 0u);  // memory and AFE registers are separate spaces
}

TEST_F(HostifOnVeth, RunCodeThenWaitForTheDevice) {
    start({"--busy-ms", "300"});
    run_code(link, 0x30000);
    uint32_t value;
    auto started = Clock::now();
    EXPECT_GT(wait_for_device(link, 0, 4, 5, &value, 1), 0);
    double waited = seconds_since(started);
    EXPECT_GT(waited, 0.2);
    EXPECT_LT(waited, 2.0);
}

TEST_F(HostifOnVeth, ActivationAndStatus) {
    start({"--busy-ms", "100", "--link", "0x5", "--net-mode", "0x2"});
    EXPECT_GT(activate_device(link), 0);
    uint32_t status = 0, mode = 0;
    EXPECT_EQ(query_status(link, &status, &mode), 1);
    EXPECT_EQ(status, 5u);
    EXPECT_EQ(mode, 2u);
}

TEST_F(HostifOnVeth, ResetIntoEachBootMode) {
    start({"--reset-ms", "300"});
    uint32_t value = 0;
    auto started = Clock::now();
    EXPECT_EQ(reset_device(link, 1), 1);
    EXPECT_GT(seconds_since(started), 0.25);
    ASSERT_EQ(read_word(link, BOOT_MODE_ADDRESS, &value), 0);
    EXPECT_EQ(value, 3u);
    EXPECT_EQ(boot_state(link), 1);
    EXPECT_EQ(reset_device(link, 2), 1);
    EXPECT_EQ(boot_state(link), 2);
}

TEST_F(HostifOnVeth, QueryDeviceMacThenTheDeviceFilterAgain) {
    start({});
    uint8_t mac[6];
    EXPECT_GT(query_device_mac(link, mac), 0);
    EXPECT_EQ(std::vector<uint8_t>(mac, mac + 6), std::vector<uint8_t>(device_mac, device_mac + 6));
    // The broadcast filter would keep the device's unicast replies out.
    uint32_t value;
    EXPECT_EQ(read_word(link, BOOT_MODE_ADDRESS, &value), 0);
    EXPECT_EQ(value, 4u);
}

TEST_F(HostifOnVeth, MemoryFilesRoundTrip) {
    std::string dump = dir.path("dump.bin");
    start({"--dump", "40000:bb8=" + dump});
    auto data = pattern(3000, 11);
    std::string in = dir.file("in.bin", data);
    std::string out = dir.path("out.bin");
    EXPECT_EQ(write_block_from_file(link, 0x40000, in.c_str()), 3000);
    EXPECT_EQ(read_block_to_file(link, 0x40000, 3000, out.c_str()), 3000);
    EXPECT_EQ(TempDir::contents(out), TempDir::contents(in));
    std::string words = dir.file("words.txt", "11223344\n55667788\n");
    std::string stored = dir.path("stored.txt");
    EXPECT_EQ(load_memory_file(link, words.c_str(), 0x50000, 1), 2);
    EXPECT_EQ(store_memory_file(link, stored.c_str(), 0x50000, 2, 0, 1), 2);
    EXPECT_EQ(TempDir::contents(stored), "00050000:44332211\n00050004:88776655\n");
    devsim->stop();
    EXPECT_EQ(TempDir::contents(dump), TempDir::contents(in));
}

TEST_F(HostifOnVeth, SilentDeviceGivesZeroResultsWithoutHanging) {
    std::string capture = dir.path("frames.pcap");
    start({"--silent", "--capture", capture});
    set_pause_function(short_pause);
    auto started = Clock::now();
    uint32_t value;
    EXPECT_EQ(write_word(link, 0x100, 1), -1);
    EXPECT_EQ(read_word(link, 0x100, &value), -1);
    EXPECT_EQ(wait_for_device(link, 0, 4, 3, &value, 5), 0);
    uint8_t mac[6];
    EXPECT_EQ(query_device_mac(link, mac), 0);
    capture_stdout();
    EXPECT_EQ(query_status(link, &value, &value), 0);
    EXPECT_EQ(captured_stdout(), "ERROR - failed to query link status\n");
    EXPECT_LT(seconds_since(started), 10.0);
    devsim->stop();
    auto sent = requests(capture);
    ASSERT_GE(sent.size(), 5u);
    for (int i = 1; i < 5; ++i) EXPECT_EQ(sent[i], sent[0]);  // the write, five times over
    for (int i = 6; i < 10; ++i) EXPECT_EQ(sent[i], sent[5]);  // the read, five times over
    EXPECT_EQ(sent.size(), 5u + 5u + 6u + 5u);                // then 6 polls, the status read
}

TEST_F(HostifOnVeth, LostRequestsAreSentAgain) {
    for (bool write : {true, false}) {
        std::string capture = dir.path("frames.pcap");
        start({"--drop-first", "2", "--load", "100=" + dir.file("word.bin", std::vector<uint8_t>{0x0D, 0xF0, 0, 0}), "--capture", capture});
        uint32_t value = 0;
        if (write) {
            EXPECT_EQ(write_word(link, 0x100, 0xBEEF), 0);
            EXPECT_EQ(read_word(link, 0x100, &value), 0);
            EXPECT_EQ(value, 0xBEEFu);
        } else {
            EXPECT_EQ(read_word(link, 0x100, &value), 0);
            EXPECT_EQ(value, 0xF00Du);
        }
        devsim->stop();
        auto sent = requests(capture);
        ASSERT_GE(sent.size(), 3u) << write;
        EXPECT_EQ(sent[1], sent[0]) << write;
        EXPECT_EQ(sent[2], sent[0]) << write;
        EXPECT_EQ(sent.size(), write ? 4u : 3u);
    }
}

TEST_F(HostifOnVeth, ShortWritesAreFollowedFromTheReportedCount) {
    std::string dump = dir.path("dump.bin");
    start({"--short-write", "100", "--dump", "60000:12c=" + dump});
    auto data = pattern(300, 5);
    std::string in = dir.file("in.bin", data);
    EXPECT_EQ(write_block_from_file(link, 0x60000, in.c_str()), 300);
    std::memset(message_buffer + MESSAGE_DATA_OFFSET, 0, 4);
    EXPECT_EQ(write_block(link, 0x70000, 400, 0), 100);
    EXPECT_EQ(write_word(link, 0x70000, 1), 0);
    devsim->stop();
    EXPECT_EQ(TempDir::contents(dump), TempDir::contents(in));
}

TEST_F(HostifOnVeth, DelayedRepliesAreDrainedAfterASlowWait) {
    // The device holds status reads while it erases and answers them all at
    // once afterwards; the wait takes one answer and drains the others, so the
    // next read gets its own answer rather than a stale status word.
    start({"--erase-ms", "1200"});
    ASSERT_EQ(write_word(link, 0x9100, 0xA1B2C3D4), 0);
    ASSERT_EQ(write_word(link, 0x8820, 840), 0);
    uint32_t status = 1;
    EXPECT_GT(wait_for_device(link, 0x8824, 4, 10, &status, 5), 0);
    EXPECT_EQ(status, 0u);
    uint32_t value = 0;
    ASSERT_EQ(read_word(link, 0x9100, &value), 0);
    EXPECT_EQ(value, 0xA1B2C3D4u);
}

}  // namespace
