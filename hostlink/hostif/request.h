#pragma once

#include <cstdint>

class EthernetLink;

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

// One capture call. A frame of 32..capacity bytes stays in the link's buffer
// (*bytes) and its length is returned; 0 when nothing came; -1 for a frame of
// another size, after printing receive_message's message for it.
int capture_frame(EthernetLink& link, int capacity, const uint8_t** bytes);

// Sends the request standing in message_buffer (its first `length` bytes)
// after dropping every frame already waiting on the link: a frame that came
// before the request cannot answer it. Bytes sent, or 0.
int send_request(EthernetLink& link, int length);

// Listens for the reply to the request just sent for retries + 1 capture
// calls: the first host-interface frame (bytes 14-15 80 01) of more than a
// header. Other frames are passed over and the listening goes on. The reply
// is copied into message_buffer and its length returned; 0 when none came.
int receive_reply_counted(EthernetLink& link, int retries);

// The request of `opcode`, `address` and n bytes, sent up to five times; the
// header is rebuilt from the template before each send and each send listens
// for its reply as receive_reply_counted does, until the reply or for 100 ms
// of clock_us (pause.h). The reply's captured length in message_buffer, 0
// when no send was answered, or -1 when a send failed.
int exchange_request(EthernetLink& link, uint8_t opcode, uint32_t address, int n);
