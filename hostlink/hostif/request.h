#pragma once

#include <cstdint>

// Building blocks of one request/reply exchange through message_buffer.

// Sets length (12 + n), opcode and address in header_template and copies the
// template to the start of message_buffer. The data area is left alone.
void prepare_request(uint8_t opcode, uint32_t address, int n);

// Sets length and opcode only, keeping the template's address field.
void prepare_request_keeping_address(uint8_t opcode, int n);

// For a received frame of `captured` bytes in message_buffer: when it is a
// reply (more than 32 bytes), copies its header into header_template and
// returns the length field minus 12, limited to 0..limit; otherwise -1.
int take_reply(int captured, int limit);
