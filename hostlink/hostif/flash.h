#pragma once

class EthernetLink;

// Programming the device's flash or serial EEPROM through its mailbox: data
// is staged in 256-byte blocks from device address 0x28000, then a command
// word starts the device's own programming code and the status word tells
// how it went. Flash (and binary EEPROM) images go in pieces of 64 KiB.

constexpr unsigned MAILBOX_COMMAND_ADDRESS = 0x8820;
constexpr unsigned MAILBOX_STATUS_ADDRESS = 0x8824;
constexpr unsigned MAILBOX_LENGTH_ADDRESS = 0x8828;
constexpr unsigned STAGING_ADDRESS = 0x28000;
constexpr unsigned COMMAND_ERASE_FLASH = 840;
constexpr unsigned COMMAND_PROGRAM_FLASH = 850;   // + piece number
constexpr unsigned COMMAND_PROGRAM_EEPROM = 860;  // + large (+ piece number)
constexpr int PROGRAMMING_PIECE = 65536;
constexpr int STAGING_BLOCK = 256;

// Erases the whole flash; always 0 (only the messages tell how it went).
int erase_flash(EthernetLink& link);

// Erases the flash, then programs it from a hex byte file (menu 852).
// Bytes programmed, or 0.
int program_flash_hex(EthernetLink& link, const char* path);

// Erases the flash, then programs it from a binary file (script PROG_F).
// Bytes programmed, 0 on failure, or the negative result of a wait.
int program_flash_binary(EthernetLink& link, const char* path);

// Programs the EEPROM (large non-zero: the large part) from a hex byte file
// in one command (menus 853, 854). The bytes programmed as the device reports, or 0.
int program_eeprom_hex(EthernetLink& link, const char* path, int large);

// Programs the EEPROM from a binary file, one command per 64 KiB piece
// (script PROG_E, large = its ADDR field). The status word of the last
// command (bytes programmed), 0 on failure or for an empty file, or the
// negative result of a wait.
int program_eeprom_binary(EthernetLink& link, const char* path, int large);
