#include <gtest/gtest.h>
#include <pcap/pcap.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "device_port.h"
#include "link/ethernet_link.h"
#include "output_capture.h"
#include "temp_dir.h"

// The link on the namespace's veth pair: hl0 is the PC side (192.0.2.2/24),
// dv0 the device side played by a raw socket.
namespace {

using Frame = std::vector<uint8_t>;
constexpr uint16_t HOSTLINK_ETHERTYPE = 0x886C;
constexpr int RECEIVE_CALLS = 2000;  // about two seconds of 1 ms waits
const Frame SPOOFED_DEVICE = {0x0A, 0x3F, 0x71, 0x00, 0x00, 0x07};

class InspectableLink : public EthernetLink {
public:
    uint32_t netmask() const { return netmask_; }
};

// Moves the cursor to the entry named `name` (the description stands in for
// the name on Linux) and opens it.
ZdkStatus open_interface(EthernetLink& link, const std::string& name) {
    ZdkStatus status = link.initialize();
    if (status != ZDK_SUCCESS) return status;
    const char* text = nullptr;
    for (status = link.first_interface(&text); status == ZDK_SUCCESS; status = link.next_interface(&text)) {
        if (text != nullptr && name == text) return link.open_selected();
    }
    return status;
}

Frame receive_within(EthernetLink& link, int calls = RECEIVE_CALLS) {
    for (int i = 0; i < calls; ++i) {
        const uint8_t* bytes = nullptr;
        int length = 0;
        if (link.receive_frame(&bytes, &length) == ZDK_SUCCESS) return Frame(bytes, bytes + length);
    }
    return {};
}

Frame payload_frame(const Frame& destination, const Frame& source, uint16_t ethertype, uint8_t mark,
                    size_t length = 64) {
    return make_frame(destination, source, ethertype, {0x80, 0x01, mark}, length);
}

// Files of this run; the directory goes when the tests end.
TempDir test_files;

std::string temp_path(const char* name) { return test_files.path(name); }

class VethLink : public testing::Test {
protected:
    void SetUp() override {
        if (getenv("HL_IFACE") == nullptr) GTEST_SKIP() << "needs the test namespace (run_in_netns.sh)";
        pc = interface_mac("hl0");
        device_side = interface_mac("dv0");
        ASSERT_TRUE(port.usable()) << "raw socket on dv0";
        ASSERT_EQ(open_interface(link, "hl0"), ZDK_SUCCESS);
    }
    InspectableLink link;
    DevicePort port{"dv0"};
    Frame pc;
    Frame device_side;
};

TEST_F(VethLink, ListIsTheVethPairWithFirstIpv4Address) {
    EthernetLink list;
    ASSERT_EQ(list.initialize(), ZDK_SUCCESS);
    std::set<std::string> names;
    const char* text = nullptr;
    ZdkStatus status;
    for (status = list.first_interface(&text); status == ZDK_SUCCESS; status = list.next_interface(&text)) {
        names.insert(text);
        uint8_t address[4];
        const ZdkStatus address_status = list.interface_address(address);
        if (std::string(text) == "hl0") {
            ASSERT_EQ(address_status, ZDK_SUCCESS);
            EXPECT_EQ(std::vector<uint8_t>(address, address + 4), (std::vector<uint8_t>{192, 0, 2, 2}));
        } else {
            EXPECT_EQ(address_status, ZDK_FAILED_QUERY_INTERFACE);
        }
        const char* guid = nullptr;
        EXPECT_EQ(list.interface_guid(&guid), ZDK_FAILED_QUERY_INTERFACE);
    }
    EXPECT_EQ(status, ZDK_NO_MORE_INTERFACES);
    EXPECT_EQ(names, (std::set<std::string>{"hl0", "dv0"})) << "no loopback, no pseudo-devices";
    uint8_t address[4];
    EXPECT_EQ(list.interface_address(address), ZDK_NO_MORE_INTERFACES);
    EXPECT_EQ(list.next_interface(&text), ZDK_NO_MORE_INTERFACES);
}

TEST_F(VethLink, FramesTravelBothWays) {
    const Frame to_pc = payload_frame(pc, device_side, HOSTLINK_ETHERTYPE, 0x11, 1432);
    ASSERT_TRUE(port.send(to_pc));
    EXPECT_EQ(receive_within(link), to_pc);

    const Frame to_device = payload_frame(device_side, pc, HOSTLINK_ETHERTYPE, 0x22, 64);
    ASSERT_EQ(link.send_frame(to_device.data(), static_cast<int>(to_device.size())), ZDK_SUCCESS);
    EXPECT_EQ(port.receive(2000), to_device);
    EXPECT_EQ(link.is_open(), 1);
}

TEST_F(VethLink, SilentInterfaceAnswers269AfterAboutOneMillisecond) {
    const auto start = std::chrono::steady_clock::now();
    const uint8_t* bytes = nullptr;
    int length = 0;
    for (int i = 0; i < 100; ++i) ASSERT_EQ(link.receive_frame(&bytes, &length), ZDK_RECEIVE_PACKET_FAILED);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_LT(elapsed, std::chrono::seconds(2));
    EXPECT_GE(elapsed, std::chrono::milliseconds(90)) << "callers count 1 ms waits to build their time-outs";
}

TEST_F(VethLink, WaitingFramesAreTakenWithoutWaiting) {
    const uint8_t* bytes = nullptr;
    int length = 0;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 1000; ++i) ASSERT_EQ(link.take_waiting_frame(&bytes, &length), ZDK_RECEIVE_PACKET_FAILED);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500)) << "no 1 ms waits";

    const Frame first = payload_frame(pc, device_side, HOSTLINK_ETHERTYPE, 0x31);
    const Frame second = payload_frame(pc, device_side, HOSTLINK_ETHERTYPE, 0x32);
    ASSERT_TRUE(port.send(first));
    ASSERT_TRUE(port.send(second));
    ASSERT_EQ(receive_within(link), first);  // both are in the capture ring now
    ASSERT_EQ(link.take_waiting_frame(&bytes, &length), ZDK_SUCCESS);
    EXPECT_EQ(Frame(bytes, bytes + length), second);
    EXPECT_EQ(link.take_waiting_frame(&bytes, &length), ZDK_RECEIVE_PACKET_FAILED);
}

TEST_F(VethLink, DeviceFilterAdmitsOnlyDeviceToPcFrames) {
    char filter[160];
    std::snprintf(filter, sizeof filter,
                  "ether dst %02x:%02x:%02x:%02x:%02x:%02x and ether src %02x:%02x:%02x:%02x:%02x:%02x and "
                  "ether proto 0x%x",
                  pc[0], pc[1], pc[2], pc[3], pc[4], pc[5], SPOOFED_DEVICE[0], SPOOFED_DEVICE[1], SPOOFED_DEVICE[2],
                  SPOOFED_DEVICE[3], SPOOFED_DEVICE[4], SPOOFED_DEVICE[5], HOSTLINK_ETHERTYPE);
    ASSERT_EQ(link.set_filter(filter), ZDK_SUCCESS);
    const Frame other_station = {0x02, 0x00, 0x00, 0x00, 0x00, 0x99};
    const Frame refused[] = {
        payload_frame(pc, SPOOFED_DEVICE, 0x88B5, 1),          // other EtherType
        payload_frame(pc, device_side, HOSTLINK_ETHERTYPE, 2),  // other source
        payload_frame(other_station, SPOOFED_DEVICE, HOSTLINK_ETHERTYPE, 3),  // not for this PC
    };
    for (const Frame& f : refused) ASSERT_TRUE(port.send(f));
    const Frame admitted = payload_frame(pc, SPOOFED_DEVICE, HOSTLINK_ETHERTYPE, 4);
    ASSERT_TRUE(port.send(admitted));
    EXPECT_EQ(receive_within(link), admitted);
    EXPECT_TRUE(receive_within(link, 50).empty());
    EXPECT_EQ(link.set_filter("ether proto nonsense"), ZDK_UNSUCCESSFUL);
}

TEST_F(VethLink, NetmaskOfFirstAddressOrDefault) {
    EXPECT_EQ(link.netmask(), 0x00FFFFFFu);  // 255.255.255.0
    InspectableLink bare;
    ASSERT_EQ(open_interface(bare, "dv0"), ZDK_SUCCESS);
    EXPECT_EQ(bare.netmask(), 0x00FFFFFFu) << "no address: the default";
}

TEST_F(VethLink, CloseReleasesEverything) {
    link.close();
    EXPECT_EQ(link.is_open(), 0);
    const uint8_t frame[64] = {};
    EXPECT_EQ(link.send_frame(frame, 64), ZDK_NO_CAPTURE_HANDLE);
    const char* text = nullptr;
    EXPECT_EQ(link.first_interface(&text), ZDK_FAILED_QUERY_INTERFACE);
    link.close();
}

TEST_F(VethLink, DumpWritesFiveFramesLibpcapReadsBack) {
    std::vector<Frame> sent;
    for (uint8_t mark = 1; mark <= 6; ++mark) {
        sent.push_back(payload_frame(pc, device_side, HOSTLINK_ETHERTYPE, mark, 60 + mark));
        ASSERT_TRUE(port.send(sent.back()));
    }
    const std::string path = temp_path("dump.pcap");
    ASSERT_EQ(link.dump_to_file(path.c_str()), ZDK_SUCCESS);

    char error[PCAP_ERRBUF_SIZE];
    pcap_t* file = pcap_open_offline(path.c_str(), error);
    ASSERT_NE(file, nullptr) << error;
    pcap_pkthdr* header = nullptr;
    const u_char* data = nullptr;
    size_t count = 0;
    while (pcap_next_ex(file, &header, &data) == 1) {
        ASSERT_LT(count, 5u);
        EXPECT_EQ(Frame(data, data + header->caplen), sent[count]);
        ++count;
    }
    pcap_close(file);
    unlink(path.c_str());
    EXPECT_EQ(count, 5u);
    EXPECT_EQ(receive_within(link), sent[5]) << "the sixth frame stays for the next capture";

    capture_stdout();
    EXPECT_EQ(link.dump_to_file("/nonexistent-dir/dump.pcap"), ZDK_UNSUCCESSFUL);
    EXPECT_EQ(captured_stdout().rfind("Unable to start the dump, ", 0), 0u);
}

// Writes a capture file of the frames with the given times.
void write_capture(const std::string& path, const std::vector<Frame>& frames, const std::vector<timeval>& times) {
    pcap_t* dead = pcap_open_dead(DLT_EN10MB, 65536);
    pcap_dumper_t* dumper = pcap_dump_open(dead, path.c_str());
    for (size_t i = 0; i < frames.size(); ++i) {
        pcap_pkthdr header{};
        header.ts = times[i];
        header.caplen = static_cast<bpf_u_int32>(frames[i].size());
        header.len = header.caplen + 4;
        pcap_dump(reinterpret_cast<u_char*>(dumper), &header, frames[i].data());
    }
    pcap_dump_close(dumper);
    pcap_close(dead);
}

std::string hex_lines(const Frame& frame) {
    std::string text;
    char byte[8];
    for (size_t i = 1; i <= frame.size(); ++i) {
        std::snprintf(byte, sizeof byte, "%.2x ", frame[i - 1]);
        text += byte;
        if (i % 256 == 0) text += "\n";
    }
    return text + "\n\n";
}

TEST_F(VethLink, ReplaySendsAndPrintsEachFrame) {
    const Frame first = payload_frame(device_side, pc, HOSTLINK_ETHERTYPE, 0x31, 64);
    const Frame second = payload_frame(device_side, pc, HOSTLINK_ETHERTYPE, 0x32, 300);
    const std::string path = temp_path("replay.pcap");
    write_capture(path, {first, second}, {{1700000000, 42}, {1700000001, 999999}});

    capture_stdout();
    EXPECT_EQ(link.replay_file(path.c_str()), ZDK_SUCCESS);
    const std::string printed = captured_stdout();
    EXPECT_EQ(printed, "1700000000:42 (68)\n" + hex_lines(first) + "1700000001:999999 (304)\n" + hex_lines(second));
    EXPECT_EQ(port.receive(2000), first);
    EXPECT_EQ(port.receive(2000), second);

    // A file cut inside its second frame: the first is replayed, then the error.
    const std::string cut = temp_path("cut.pcap");
    {
        std::ifstream in(path, std::ios::binary);
        std::string whole((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::ofstream(cut, std::ios::binary) << whole.substr(0, whole.size() - 100);
    }
    capture_stdout();
    EXPECT_EQ(link.replay_file(cut.c_str()), ZDK_SUCCESS);
    const std::string cut_output = captured_stdout();
    EXPECT_EQ(cut_output.rfind("1700000000:42 (68)\n" + hex_lines(first) + "Error reading the packets: ", 0), 0u)
        << cut_output;

    capture_stdout();
    EXPECT_EQ(link.replay_file("/nonexistent.pcap"), ZDK_UNSUCCESSFUL);
    EXPECT_EQ(captured_stdout(), "\nError opening dump file\n");
    unlink(path.c_str());
    unlink(cut.c_str());
}

std::atomic<int> frames_dispatched{0};
void count_frame(u_char*, const pcap_pkthdr*, const u_char*) { ++frames_dispatched; }

TEST_F(VethLink, ReceiveThreadDispatchesAndStops) {
    frames_dispatched = 0;
    ASSERT_EQ(link.start_receive_thread(count_frame, nullptr), ZDK_SUCCESS);
    const Frame to_pc = payload_frame(pc, device_side, HOSTLINK_ETHERTYPE, 0x41);
    for (int i = 0; i < 200 && frames_dispatched == 0; ++i) {
        port.send(to_pc);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_GT(frames_dispatched.load(), 0);
    EXPECT_EQ(link.stop_receive_thread(-1), ZDK_SUCCESS);
    EXPECT_EQ(link.stop_receive_thread(-1), ZDK_SUCCESS) << "a second stop finds the loop ended";

    ASSERT_EQ(link.start_receive_thread(count_frame, nullptr), ZDK_SUCCESS);
    link.close();  // stops the running loop itself
    EXPECT_EQ(link.is_open(), 0);
}

TEST_F(VethLink, CloseWaitsForLoopWhoseStopTimedOut) {
    for (int round = 0; round < 20; ++round) {
        ASSERT_EQ(open_interface(link, "hl0"), ZDK_SUCCESS);
        ASSERT_EQ(link.start_receive_thread(count_frame, nullptr), ZDK_SUCCESS);
        const ZdkStatus stopped = link.stop_receive_thread(0);
        EXPECT_TRUE(stopped == ZDK_SUCCESS || stopped == ZDK_TIMEOUT_EXPIRED) << stopped;
        link.close();
        EXPECT_EQ(link.is_open(), 0);
    }
}

}  // namespace
