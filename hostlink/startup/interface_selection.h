#pragma once

#include <cstdint>

class EthernetLink;

// Chooses the interface whose first IPv4 address is `address` (network-order
// octets) and that yields a MAC address; opens it and fills pc_mac.
bool select_interface_by_address(EthernetLink& link, const uint8_t address[4]);

// Numbered list on standard output, choice read from standard input.
// 0 on success, else the negative process status.
int select_interface_from_menu(EthernetLink& link, int preset);

// MAC address of the interface holding the IPv4 address; 1 on success, 0 on failure.
int lookup_interface_mac(const uint8_t address[4], uint8_t mac[6]);
