#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "link/ethernet_link.h"
#include "output_capture.h"

// What the link does without any network: closed-state answers and the
// receive thread's stop on an object that never opened.
namespace {

TEST(EthernetLinkClosed, OperationsNeedingHandleGive5023) {
    EthernetLink link;
    const uint8_t frame[64] = {};
    const uint8_t* bytes = nullptr;
    int length = 0;
    EXPECT_EQ(link.send_frame(frame, 64), ZDK_NO_CAPTURE_HANDLE);
    EXPECT_EQ(link.receive_frame(&bytes, &length), ZDK_NO_CAPTURE_HANDLE);
    EXPECT_EQ(link.take_waiting_frame(&bytes, &length), ZDK_NO_CAPTURE_HANDLE);
    EXPECT_EQ(link.set_filter("ether proto 0x886c"), ZDK_NO_CAPTURE_HANDLE);
    EXPECT_EQ(link.dump_to_file("/tmp/never-written.pcap"), ZDK_NO_CAPTURE_HANDLE);
    capture_stdout();
    EXPECT_EQ(link.replay_file("/nonexistent.pcap"), ZDK_NO_CAPTURE_HANDLE);
    EXPECT_EQ(captured_stdout(), "") << "5023 comes before the file is opened";
    EXPECT_STREQ(status_text(ZDK_NO_CAPTURE_HANDLE), "unknown status\n");
    EXPECT_EQ(link.is_open(), 0);
}

TEST(EthernetLinkClosed, CursorOperationsWithoutList) {
    EthernetLink link;
    const char* text = nullptr;
    uint8_t address[4];
    EXPECT_EQ(link.first_interface(&text), ZDK_FAILED_QUERY_INTERFACE);
    EXPECT_EQ(link.next_interface(&text), ZDK_NO_MORE_INTERFACES);
    EXPECT_EQ(link.interface_address(address), ZDK_NO_MORE_INTERFACES);
    EXPECT_EQ(link.interface_guid(&text), ZDK_NO_MORE_INTERFACES);
    EXPECT_EQ(link.open_selected(), ZDK_INTERFACE_FAIL);
    EXPECT_EQ(link.unsupported_with_arguments(nullptr, nullptr), ZDK_UNSUPPORTED_ROUTINE);
    EXPECT_EQ(link.unsupported_without_arguments(), ZDK_UNSUPPORTED_ROUTINE);
    link.close();
    link.close();
    EXPECT_EQ(link.is_open(), 0);
}

TEST(EthernetLinkClosed, StopReturnsWhenLoopAlreadyEnded) {
    EthernetLink link;
    EXPECT_EQ(link.stop_receive_thread(-1), ZDK_SUCCESS) << "no loop ever ran";
    for (int round = 0; round < 50; ++round) {
        // Without a capture handle the loop ends at once, usually before the stop.
        ASSERT_EQ(link.start_receive_thread(nullptr, nullptr), ZDK_SUCCESS);
        if (round % 2 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ASSERT_EQ(link.stop_receive_thread(-1), ZDK_SUCCESS);
    }
    EXPECT_EQ(link.stop_receive_thread(0), ZDK_SUCCESS);
}

}  // namespace
