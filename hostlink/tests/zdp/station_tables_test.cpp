#include "device_memory.h"
#include "output_capture.h"
#include "zdp/station_tables.h"
#include "zdp/zdp_commands.h"
#include "zdp_fixture.h"

namespace {

class StationTablesTest : public ZdpTest {
protected:
    void SetUp() override {
        ZdpTest::SetUp();
        link.responder = [this](const Frame& sent, std::deque<Frame>& replies) { device.answer(sent, replies); };
        device.put_word(STATION_COUNT_ADDRESS, 0x00030000);
    }
    void put_station(int k, std::vector<uint8_t> first, std::vector<uint8_t> second) {
        uint32_t base = STATION_TABLE_ADDRESS + k * STATION_ENTRY_SIZE;
        device.put_bytes(base + 20, first);
        device.put_bytes(base + 26, second);
    }
    // A channel entry: peer at 8, own address at 14, status at 21, PE at pe_offset.
    void put_channel(bool transmit, int k, std::vector<uint8_t> peer, std::vector<uint8_t> own, uint8_t status,
                     uint8_t pe) {
        uint32_t base = transmit ? TX_CHANNEL_TABLE_ADDRESS + k * TX_CHANNEL_ENTRY_SIZE
                                 : RX_CHANNEL_TABLE_ADDRESS + k * RX_CHANNEL_ENTRY_SIZE;
        device.put_bytes(base + 8, peer);
        device.put_bytes(base + 14, own);
        device.bytes[base + 21] = status;
        device.bytes[base + (transmit ? 47 : 38)] = pe;
    }
    std::string output_of(const std::function<void()>& command) {
        capture_stdout();
        command();
        return captured_stdout();
    }
    DeviceMemory device;
};

TEST_F(StationTablesTest, CountWordGivesEntriesAndOnlyConsistentAddressesAreListed) {
    put_station(0, {2, 0, 0, 0, 0, 0x11}, {2, 0, 0, 0, 0, 0x11});
    put_station(1, {2, 0, 0, 0, 0, 0x12}, {2, 0, 0, 0, 0, 0x13});   // addresses differ
    put_station(2, {2, 0, 0, 0, 0, 0x07}, {2, 0, 0, 0, 0, 0x07});   // the node itself, listed again
    put_station(3, {2, 0, 0, 0, 0, 0x14}, {2, 0, 0, 0, 0, 0x14});   // beyond the count
    std::vector<MacAddress> stations;
    EXPECT_EQ(output_of([&] { stations = read_station_list(link, NODE_A); }),
              "02:00:00:00:00:11\n02:00:00:00:00:07\n");
    ASSERT_EQ(stations.size(), 3u);
    EXPECT_EQ(stations[0], (MacAddress{2, 0, 0, 0, 0, 7}));
    EXPECT_EQ(stations[1], (MacAddress{2, 0, 0, 0, 0, 0x11}));
    EXPECT_EQ(output_of([&] { get_stations_command(link, "02:00:00:00:00:07\n"); }),
              "02:00:00:00:00:11\n02:00:00:00:00:07\n");
}

TEST_F(StationTablesTest, ZeroAddressesAndUnansweredReadsAreSkipped) {
    put_station(0, {0, 0, 0, 0, 0, 0}, {0, 0, 0, 0, 0, 0});
    put_station(1, {2, 0, 0, 0, 0, 0x12}, {2, 0, 0, 0, 0, 0x12});
    put_station(2, {2, 0, 0, 0, 0, 0x13}, {2, 0, 0, 0, 0, 0x13});
    device.silent_reads.insert(STATION_TABLE_ADDRESS + 2 * STATION_ENTRY_SIZE);
    std::vector<MacAddress> stations;
    EXPECT_EQ(output_of([&] { stations = read_station_list(link, NODE_A); }), "02:00:00:00:00:12\n");
    EXPECT_EQ(stations.size(), 2u);
}

TEST_F(StationTablesTest, UnreadableCountListsOnlyTheNode) {
    device.silent_reads.insert(STATION_COUNT_ADDRESS);
    EXPECT_EQ(station_count(link), 0);
    EXPECT_EQ(read_station_list(link, NODE_A).size(), 1u);
    EXPECT_EQ(output_of([&] { get_tx_chan_table_command(link); }), "SA                   DA                Sender Pe\n");
}

TEST_F(StationTablesTest, ChannelTablesKeepEntriesInUse) {
    put_channel(true, 0, {2, 0, 0, 0, 0, 0x08}, {2, 0, 0, 0, 0, 0x01}, 0x7F, 43);
    put_channel(true, 1, {2, 0, 0, 0, 0, 0x09}, {2, 0, 0, 0, 0, 0x01}, 0x80, 44);
    put_channel(true, 2, {2, 0, 0, 0, 0, 0x08}, {2, 0, 0, 0, 0, 0x01}, 0x00, 200);
    put_channel(false, 0, {2, 0, 0, 0, 0, 0x08}, {2, 0, 0, 0, 0, 0x01}, 0x00, 11);
    put_channel(false, 2, {2, 0, 0, 0, 0, 0x0a}, {2, 0, 0, 0, 0, 0x01}, 0xFF, 12);
    EXPECT_EQ(output_of([&] { get_tx_chan_table_command(link); }),
              "SA                   DA                Sender Pe\n"
              "02:00:00:00:00:01\t02:00:00:00:00:08 43\n"
              "02:00:00:00:00:01\t02:00:00:00:00:08 200\n");
    EXPECT_EQ(output_of([&] { get_rx_chan_table_command(link); }),
              "SA                   DA                Receiver Pe\n"
              "02:00:00:00:00:08\t02:00:00:00:00:01 11\n"
              "00:00:00:00:00:00\t00:00:00:00:00:00 0\n");
}

TEST_F(StationTablesTest, PeCommandsMatchThePeer) {
    put_channel(true, 0, {2, 0, 0, 0, 0, 0x08}, {2, 0, 0, 0, 0, 0x01}, 0x00, 43);
    put_channel(true, 1, {2, 0, 0, 0, 0, 0x09}, {2, 0, 0, 0, 0, 0x01}, 0x00, 44);
    put_channel(false, 0, {2, 0, 0, 0, 0, 0x01}, {2, 0, 0, 0, 0, 0x08}, 0x00, 11);
    EXPECT_EQ(output_of([&] { get_tx_pe_command(link, "02:00:00:00:00:08\n"); }),
              "mac : 02 00 00 00 00 08 , TCHAN PE = 43\n");
    EXPECT_EQ(output_of([&] { get_tx_pe_command(link, "02:00:00:00:00:01\n"); }), "");
    EXPECT_EQ(output_of([&] { get_rx_pe_command(link, "02:00:00:00:00:01\n"); }),
              "mac : 02 00 00 00 00 01 , RCHAN PE = 11\n");
}

}  // namespace
