#pragma once

#include <array>
#include <cstdint>
#include <vector>

class EthernetLink;

using MacAddress = std::array<uint8_t, 6>;

constexpr uint32_t STATION_COUNT_ADDRESS = 0x80002070;
constexpr uint32_t STATION_TABLE_ADDRESS = 0x8000D000;
constexpr uint32_t TX_CHANNEL_TABLE_ADDRESS = 0x80007000;
constexpr uint32_t RX_CHANNEL_TABLE_ADDRESS = 0x80008000;
constexpr int STATION_ENTRY_SIZE = 44;
constexpr int TX_CHANNEL_ENTRY_SIZE = 56;
constexpr int RX_CHANNEL_ENTRY_SIZE = 60;

// Number of stations the local device lists; 0 when it cannot be read.
int station_count(EthernetLink& link);

// `node` first, then every station of the device's table (each printed as it
// is added).
std::vector<MacAddress> read_station_list(EthernetLink& link, const uint8_t node[6]);

// The in-use entries of the transmit or receive channel table, as read.
std::vector<std::vector<uint8_t>> read_channel_table(EthernetLink& link, bool transmit);
