#pragma once

#include <cstdint>

class EthernetLink;

// Host-interface requests to the device (sub-protocol 0x01). One request is in
// flight at a time; every request is built in message_buffer and every reply
// lands there, so callers put write data at message_buffer + 32 before a write
// and find read data there after a read.

constexpr int MESSAGE_BUFFER_SIZE = 1528;
constexpr int HEADER_SIZE = 32;
constexpr int MESSAGE_DATA_OFFSET = 32;

constexpr uint8_t OPCODE_RUN_CODE = 1;
constexpr uint8_t OPCODE_READ_MEMORY = 2;
constexpr uint8_t OPCODE_WRITE_MEMORY = 3;
constexpr uint8_t OPCODE_ACTIVATE = 4;
constexpr uint8_t OPCODE_READ_SERIAL = 5;
constexpr uint8_t OPCODE_WRITE_SERIAL = 6;

constexpr uint32_t RESET_CONTROL_ADDRESS = 0x00E00000;
constexpr uint32_t BOOT_MODE_ADDRESS = 0x00E00018;
constexpr uint32_t LINK_STATUS_ADDRESS = 0x80005000;
constexpr uint32_t NETWORK_MODE_ADDRESS = 0x80005004;

// Process-wide request buffer and the header the next request starts from.
extern uint8_t message_buffer[MESSAGE_BUFFER_SIZE];
extern uint8_t header_template[HEADER_SIZE];

// Puts the header template back to its initial bytes (start of a process; tests).
void reset_header_template();

int send_message(EthernetLink& link, uint8_t* frame, int length);
int receive_message(EthernetLink& link, uint8_t* buffer, int capacity, int retries);
int read_block(EthernetLink& link, uint32_t address, int n, int serial);
int write_block(EthernetLink& link, uint32_t address, int n, int serial);
int read_word(EthernetLink& link, uint32_t address, uint32_t* value);
int write_word(EthernetLink& link, uint32_t address, uint32_t value);
int read_serial(EthernetLink& link, uint32_t address, uint32_t* value);
int write_serial(EthernetLink& link, uint32_t address, uint32_t value);
int poll_word(EthernetLink& link, uint32_t address, int n, int rounds, uint32_t* value);
int wait_for_device(EthernetLink& link, uint32_t address, int n, int seconds, uint32_t* value, int rounds);
void run_code(EthernetLink& link, uint32_t address);
void send_activate(EthernetLink& link);
int activate_device(EthernetLink& link);
int boot_state(EthernetLink& link);
int reset_device(EthernetLink& link, int mode);
int query_status(EthernetLink& link, uint32_t* link_status, uint32_t* network_mode);
int query_device_mac(EthernetLink& link, uint8_t mac[6]);
