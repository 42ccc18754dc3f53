#pragma once

#include <cstdint>
#include <functional>

class EthernetLink;

// Finds the MAC address of the interface that holds an IPv4 address
// (network-order octets); 1 on success, 0 on failure.
using MacLookup = std::function<int(const uint8_t address[4], uint8_t mac[6])>;

// Chooses the interface whose first IPv4 address is `address` (network-order
// octets) and that yields a MAC address; opens it and fills pc_mac.
bool select_interface_by_address(EthernetLink& link, const uint8_t address[4]);
bool select_interface_by_address(EthernetLink& link, const uint8_t address[4], const MacLookup& lookup);

// Numbered list on standard output, choice read from standard input.
// 0 on success, else the negative process status.
int select_interface_from_menu(EthernetLink& link, int preset);
int select_interface_from_menu(EthernetLink& link, int preset, const MacLookup& lookup);

// MAC address of the interface holding the IPv4 address; 1 on success, 0 on failure.
int lookup_interface_mac(const uint8_t address[4], uint8_t mac[6]);
