#include "station_tables.h"

#include <cstdio>
#include <cstring>

#include "hostif/host_interface.h"
#include "zdp_ack.h"
#include "zdp_commands.h"

namespace {

constexpr int STATUS_BYTE = 21;
constexpr uint8_t STATUS_NOT_IN_USE = 0x80;
constexpr int PEER_OFFSET = 8;
constexpr int OWN_OFFSET = 14;
constexpr int TX_PE_OFFSET = 47;
constexpr int RX_PE_OFFSET = 38;

// Reads one table entry; false when the device did not answer with all of it.
bool read_entry(EthernetLink& link, uint32_t address, int size, uint8_t* entry) {
    if (read_block(link, address, size, 0) < size) return false;
    std::memcpy(entry, message_buffer + MESSAGE_DATA_OFFSET, size);
    return true;
}

void print_channel_rows(const std::vector<std::vector<uint8_t>>& entries, int sa_offset, int da_offset,
                        int pe_offset) {
    for (const auto& entry : entries) {
        const uint8_t* sa = entry.data() + sa_offset;
        const uint8_t* da = entry.data() + da_offset;
        std::printf("%.2x:%.2x:%.2x:%.2x:%.2x:%.2x\t%.2x:%.2x:%.2x:%.2x:%.2x:%.2x %i\n", sa[0], sa[1],
                    sa[2], sa[3], sa[4], sa[5], da[0], da[1], da[2], da[3], da[4], da[5], entry[pe_offset]);
    }
}

void print_peer_pe(EthernetLink& link, const char* argument, bool transmit) {
    uint8_t node[6] = {};
    int timeout_ms = 0;
    parse_node_argument(argument, node, &timeout_ms);
    int pe_offset = transmit ? TX_PE_OFFSET : RX_PE_OFFSET;
    const char* format = transmit ? "mac : %.2x %.2x %.2x %.2x %.2x %.2x , TCHAN PE = %i\n"
                                  : "mac : %.2x %.2x %.2x %.2x %.2x %.2x , RCHAN PE = %i\n";
    for (const auto& entry : read_channel_table(link, transmit)) {
        if (std::memcmp(entry.data() + PEER_OFFSET, node, 6) != 0) continue;
        std::printf(format, node[0], node[1], node[2], node[3], node[4], node[5], entry[pe_offset]);
    }
}

}  // namespace

int station_count(EthernetLink& link) {
    uint32_t word = 0;
    if (read_word(link, STATION_COUNT_ADDRESS, &word) != 0) return 0;
    return static_cast<int>((word >> 16) & 0xFF);
}

std::vector<MacAddress> read_station_list(EthernetLink& link, const uint8_t node[6]) {
    static const uint8_t no_address[6] = {};
    int count = station_count(link);
    std::vector<MacAddress> stations;
    stations.reserve(count + 1);
    MacAddress first;
    std::memcpy(first.data(), node, 6);
    stations.push_back(first);
    for (int k = 0; k < count; ++k) {
        uint8_t entry[STATION_ENTRY_SIZE];
        if (!read_entry(link, STATION_TABLE_ADDRESS + k * STATION_ENTRY_SIZE, STATION_ENTRY_SIZE, entry)) continue;
        const uint8_t* address = entry + 20;
        const uint8_t* second = entry + 26;
        if (std::memcmp(address, second, 6) != 0 || std::memcmp(address, no_address, 6) == 0) continue;
        MacAddress station;
        std::memcpy(station.data(), address, 6);
        stations.push_back(station);
        std::printf("%.2x:%.2x:%.2x:%.2x:%.2x:%.2x\n", address[0], address[1], address[2], address[3],
                    address[4], address[5]);
    }
    return stations;
}

std::vector<std::vector<uint8_t>> read_channel_table(EthernetLink& link, bool transmit) {
    uint32_t base = transmit ? TX_CHANNEL_TABLE_ADDRESS : RX_CHANNEL_TABLE_ADDRESS;
    int size = transmit ? TX_CHANNEL_ENTRY_SIZE : RX_CHANNEL_ENTRY_SIZE;
    int count = station_count(link);
    std::vector<std::vector<uint8_t>> entries;
    for (int k = 0; k < count; ++k) {
        std::vector<uint8_t> entry(size);
        if (!read_entry(link, base + k * size, size, entry.data())) continue;
        if (entry[STATUS_BYTE] & STATUS_NOT_IN_USE) continue;
        entries.push_back(std::move(entry));
    }
    return entries;
}

void get_stations_command(EthernetLink& link, const char* argument) {
    uint8_t node[6] = {};
    int timeout_ms = 0;
    parse_node_argument(argument, node, &timeout_ms);
    read_station_list(link, node);
}

void get_tx_chan_table_command(EthernetLink& link) {
    auto entries = read_channel_table(link, true);
    std::printf("SA                   DA                Sender Pe\n");
    print_channel_rows(entries, OWN_OFFSET, PEER_OFFSET, TX_PE_OFFSET);
}

void get_rx_chan_table_command(EthernetLink& link) {
    auto entries = read_channel_table(link, false);
    std::printf("SA                   DA                Receiver Pe\n");
    print_channel_rows(entries, PEER_OFFSET, OWN_OFFSET, RX_PE_OFFSET);
}

void get_tx_pe_command(EthernetLink& link, const char* argument) { print_peer_pe(link, argument, true); }

void get_rx_pe_command(EthernetLink& link, const char* argument) { print_peer_pe(link, argument, false); }
