// The search for every device on the wire: one broadcast query, then each
// answer until the window ends, each device once.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake_device.h"
#include "hostif/host_interface.h"
#include "output_capture.h"

namespace {

const char* const DEVICE_FILTER =
    "ether dst 02:00:00:00:00:02 and ether src 0a:3f:71:00:00:01 and ether proto 0x886c";
const char* const BROADCAST_FILTER = "ether dst ff:ff:ff:ff:ff:ff and ether proto 0x886c";

const FoundMac FIRST{0x0A, 0x3F, 0x71, 0x00, 0x00, 0x11};
const FoundMac SECOND{0x0A, 0x3F, 0x71, 0x00, 0x00, 0x12};
const FoundMac THIRD{0x02, 0x3F, 0x71, 0x00, 0x00, 0x13};
const FoundMac PC{0x02, 0x00, 0x00, 0x00, 0x00, 0x02};
const FoundMac MULTICAST{0x01, 0x00, 0x5E, 0x00, 0x00, 0x01};
const FoundMac BROADCAST{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

// An answer as a device sends it: to everyone, from its own address.
ScriptedLink::Frame answer_from(const FoundMac& source) {
    ScriptedLink::Frame frame(60, 0);
    std::memset(frame.data(), 0xFF, 6);
    std::memcpy(frame.data() + 6, source.data(), 6);
    frame[12] = 0x88;
    frame[13] = 0x6C;
    frame[14] = 0x03;
    return frame;
}

class DeviceSearchTest : public HostifTest {
protected:
    void SetUp() override {
        HostifTest::SetUp();
        link.responder = nullptr;  // the answers come as each case says
    }
};

TEST_F(DeviceSearchTest, EachDeviceOnceInTheOrderFirstHeardWithinTheWindow) {
    struct Arrival {
        int64_t at_ms;
        FoundMac source;
    };
    // Times on whole milliseconds: the scripted link's empty capture call
    // lasts exactly one.
    const Arrival arrivals[] = {
        {0, SECOND},       // at once
        {3, PC},           // the PC's own query, as a capture that sees it would
        {40, MULTICAST},   // no device answers from a group address
        {41, BROADCAST},
        {120, FIRST},
        {121, SECOND},     // the same device again
        {499, THIRD},      // the window's last millisecond
        {500, FIRST},      // the window has ended
        {650, {0x0A, 0x3F, 0x71, 0x00, 0x00, 0x99}},
    };
    for (const Arrival& a : arrivals) link.deliver_at(a.at_ms * 1000, answer_from(a.source));

    const DeviceSearch search = find_devices(link, 500);
    EXPECT_TRUE(search.sent);
    EXPECT_TRUE(search.filter_restored);
    EXPECT_FALSE(search.overflow);
    EXPECT_EQ(search.devices, (std::vector<FoundMac>{SECOND, FIRST, THIRD}));
    // The window, not a moment longer.
    EXPECT_EQ(ScriptedLink::now_us, 500000);
    EXPECT_EQ(link.filters, (std::vector<std::string>{BROADCAST_FILTER, DEVICE_FILTER}));
}

TEST_F(DeviceSearchTest, SendsTheAddressQueryFrameOnce) {
    uint8_t mac[6];
    query_device_mac(link, mac);
    const ScriptedLink::Frame single = link.sent.at(0);
    find_devices(link, 50);
    ASSERT_EQ(link.sent.size(), 2u);
    EXPECT_EQ(link.sent[1], single);
    EXPECT_EQ(link.sent[1].size(), 32u);
    EXPECT_EQ(link.sent[1][14], 0x03);
}

TEST_F(DeviceSearchTest, SilenceFindsNoneAfterTheWholeWindow) {
    const DeviceSearch search = find_devices(link, 200);
    EXPECT_TRUE(search.sent);
    EXPECT_TRUE(search.devices.empty());
    EXPECT_EQ(ScriptedLink::now_us, 200000);
}

TEST_F(DeviceSearchTest, FailuresSendNothingFurtherAndEndWithTheDeviceFilter) {
    link.fail_sends = true;
    link.deliver_at(0, answer_from(FIRST));
    capture_stdout();
    DeviceSearch search = find_devices(link, 500);
    EXPECT_EQ(captured_stdout(), "ERROR: error in sendto, errno=268\n");
    EXPECT_FALSE(search.sent);
    EXPECT_TRUE(search.devices.empty());
    EXPECT_EQ(link.receive_calls, 0);  // nothing was listened for
    EXPECT_EQ(link.filters.back(), DEVICE_FILTER);

    link.fail_sends = false;
    link.fail_filters = true;
    capture_stdout();
    search = find_devices(link, 500);
    EXPECT_EQ(captured_stdout(),
              "\nERROR - failed to set MAC filters\n\nERROR - failed to re-set MAC filters\n");
    EXPECT_FALSE(search.sent);
    EXPECT_FALSE(search.filter_restored);
    EXPECT_TRUE(link.sent.empty());
}

TEST_F(DeviceSearchTest, AFloodOfSourcesKeepsABoundedList) {
    const int heard = static_cast<int>(MAX_FOUND_DEVICES) + 5;
    for (int i = 0; i < heard; ++i)
        link.replies.push_back(answer_from({0x0A, 0x3F, 0x71, 0x00, uint8_t(i >> 8), uint8_t(i)}));
    const DeviceSearch search = find_devices(link, 10);
    EXPECT_EQ(search.devices.size(), MAX_FOUND_DEVICES);
    EXPECT_TRUE(search.overflow);
    EXPECT_EQ(search.devices.back()[5], uint8_t(MAX_FOUND_DEVICES - 1));
}

}  // namespace
