#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

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
constexpr uint32_t RESET_CLEAR_ADDRESS_1 = 0x00E000D0;
constexpr uint32_t RESET_CLEAR_ADDRESS_2 = 0x00E000D4;
constexpr uint32_t LINK_STATUS_ADDRESS = 0x80005000;
constexpr uint32_t NETWORK_MODE_ADDRESS = 0x80005004;

// Process-wide request buffer and the header the next request starts from.
extern uint8_t message_buffer[MESSAGE_BUFFER_SIZE];
extern uint8_t header_template[HEADER_SIZE];

// Puts the header template back to its initial bytes (start of a process; tests).
void reset_header_template();

// Forgets what was learnt about how the device answers and any quiet period
// owed after trouble (start of a process; tests).
void forget_reply_history();

// The largest data block a message holds in message_buffer.
constexpr int MESSAGE_DATA_CAPACITY = MESSAGE_BUFFER_SIZE - MESSAGE_DATA_OFFSET;

// Little-endian 32-bit words as the device stores them.
uint32_t get_le32(const uint8_t* bytes);
void put_le32(uint8_t* bytes, uint32_t value);

// The capture filter that admits only the device's frames to this PC.
void format_device_filter(char* text, int size);

// Fills bytes 0-13 (device_mac, pc_mac, 0x886C) and sends max(length, 64)
// bytes of `frame`, which must hold at least that many. Bytes sent, or 0.
int send_message(EthernetLink& link, uint8_t* frame, int length);
// The first frame of up to retries + 1 capture calls, copied into buffer.
// Its length, or 0 (nothing came, or it did not fit the 32..capacity range).
int receive_message(EthernetLink& link, uint8_t* buffer, int capacity, int retries);
// Reads and writes wait for their reply after each send until it comes or
// 100 ms have passed, and send up to five times; when all five heard only
// replies stale for what they repeated, once more after a quiet period
// (request.h: exchange_request). Frames that were waiting before the request
// are dropped; only a host-interface frame that fits the request answers it
// (request.h: judge_reply), stale ones are skipped. After trouble (a resend,
// a stale reply) the next request waits for the device to be quiet first.
//
// Reads n (0..MESSAGE_DATA_CAPACITY) bytes of memory, or of the AFE serial
// registers when serial is non-zero, into message_buffer + 32. The data count
// of the reply (never more than n nor more than arrived), or 0.
int read_block(EthernetLink& link, uint32_t address, int n, int serial);
// Writes the n bytes standing at message_buffer + 32. The count the device
// reports written (at most n), or 0.
int write_block(EthernetLink& link, uint32_t address, int n, int serial);
// Word operations: 0, or -1 unless the device answered all four bytes.
int read_word(EthernetLink& link, uint32_t address, uint32_t* value);
int write_word(EthernetLink& link, uint32_t address, uint32_t value);
int read_serial(EthernetLink& link, uint32_t address, uint32_t* value);
int write_serial(EthernetLink& link, uint32_t address, uint32_t value);
// One read request, then listens (11 capture calls) for up to `rounds` further
// passes, 100 ms apart by the clock.
int poll_word(EthernetLink& link, uint32_t address, int n, int rounds, uint32_t* value);
// Polls for `seconds` by the clock in attempts of `rounds` passes; drains late
// replies (for at most a second).
int wait_for_device(EthernetLink& link, uint32_t address, int n, int seconds, uint32_t* value, int rounds);
// Starts code at the address; completion is observed with wait_for_device.
void run_code(EthernetLink& link, uint32_t address);
// Plain ACTIVATE; nothing is awaited.
void send_activate(EthernetLink& link);
// ACTIVATE, then waits up to about 60 s; above 0 when the device answered.
int activate_device(EthernetLink& link);
// 0 read failed, 2 boot mode register below 3, else 1.
int boot_state(EthernetLink& link);
// Mode 0, 1 or 2 (boot mode 4, 3 or 1); 1 on success, 0 on failure.
int reset_device(EthernetLink& link, int mode);
// 1 with both words read, else 0.
int query_status(EthernetLink& link, uint32_t* link_status, uint32_t* network_mode);
// Broadcast address query; the answer's length with its source MAC in mac, or 0.
int query_device_mac(EthernetLink& link, uint8_t mac[6]);

// The devices on the wire: the address query of query_device_mac (the same
// frame, the same filters before and after), then every answer until
// window_ms have passed on clock_us (pause.h).
using FoundMac = std::array<uint8_t, 6>;
// A wire rarely holds more; a flood of made-up sources must not grow the list without end.
constexpr std::size_t MAX_FOUND_DEVICES = 1024;
struct DeviceSearch {
    bool sent = false;             // the broadcast filter was installed and the query sent
    bool filter_restored = false;  // the device filter is installed again
    bool overflow = false;         // more devices answered than MAX_FOUND_DEVICES
    // Each answering source once, in the order first heard; never the PC's
    // own address, nor a broadcast or multicast one.
    std::vector<FoundMac> devices;
};
DeviceSearch find_devices(EthernetLink& link, int window_ms);
