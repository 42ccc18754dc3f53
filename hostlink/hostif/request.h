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

// How often a request is sent before it counts as unanswered.
constexpr int REQUEST_SENDS = 5;

// The longest any drain of frames the loader does not want may last, however
// many the device keeps sending.
constexpr int64_t DRAIN_LIMIT_US = 1'000'000;

// What a request asks for, to judge the frames that come after it.
struct RequestShape {
    uint8_t opcode;
    uint32_t address;
    int n;  // data bytes read or written
};

enum class ReplyFit {
    answers,
    wrong_size,  // a length field (or frame) that no reply to this request has
    not_echoed,  // another opcode or address, from a device known to repeat them
    echoes_earlier,  // the opcode and address of a recent other request, not of this one
};

// Keeps the opcode and address of a request about to be sent among the
// recent requests (the last eight different ones, of every kind).
void note_request(uint8_t opcode, uint32_t address);

// How a host-interface frame of `length` bytes stands to `request`. A read of
// n bytes is answered with length field 12 + n and all n bytes in the frame,
// a write of n bytes with a length field from 12 to 12 + n. A frame that
// does not repeat the request's opcode and address is stale when the device
// is known to repeat them; otherwise, when it repeats those of a recent
// other request, unless this kind of request stopped judging by that.
ReplyFit judge_reply(const RequestShape& request, const uint8_t* frame, int length);

// Learns from a reply taken as the answer to `request` whether the device
// repeats opcode and address in the replies to this kind of request (memory
// or serial, read or write). Decided once per process: two replies that
// repeat them, or one that does not.
void learn_from_reply(const RequestShape& request, const uint8_t* frame);

// Every request kind back to not yet learnt.
void forget_reply_habits();

// Every window of a request heard frames and all were stale only for what
// they repeated: the device does not answer as the loader thought (new code
// on it, or a fixed value that meets an earlier request). A kind known to
// repeat opcode and address is taken as not repeating them; any other kind
// no longer takes a reply that repeats an earlier request for stale.
void stop_judging_by_echo(uint8_t opcode);

// The host-interface frames that one listening passed over as stale.
struct Hearing {
    int wrong_size = 0;
    int not_echoed = 0;
    int echoes_earlier = 0;
    int skipped() const { return wrong_size + not_echoed + echoes_earlier; }
    // Frames came, and every one of them was stale only for what it repeated
    // of the requests: the device may not answer as the loader thought.
    bool only_misechoed() const { return not_echoed + echoes_earlier > 0 && wrong_size == 0; }
};

// After trouble (a request sent more than once, a stale frame skipped) the
// next request waits until the device has been quiet for twice the reply
// window, at most 2 s, so that no late reply of this one can answer it.
void owe_quiet();

// Sends the request standing in message_buffer (its first `length` bytes)
// after dropping every frame already waiting on the link (a frame that came
// before the request cannot answer it) and after the quiet period owed, if
// any. Bytes sent, or 0.
int send_request(EthernetLink& link, int length);

// Listens for the reply to `request`, just sent, for retries + 1 capture
// calls: the first host-interface frame (bytes 14-15 80 01) of more than a
// header that answers it (judge_reply). Other frames are passed over, stale
// ones counted in `heard`, and the listening goes on. The reply is copied
// into message_buffer and its length returned; 0 when none came.
int receive_reply_counted(EthernetLink& link, const RequestShape& request, int retries, Hearing& heard);

// The request of `opcode`, `address` and n bytes, sent up to five times; the
// header is rebuilt from the template before each send and each send listens
// for its reply as receive_reply_counted does, until the reply or for 100 ms
// of clock_us (pause.h). When every window heard only replies that were
// stale for what they repeated (stop_judging_by_echo), the request is sent
// once more after a quiet period and judged by the rules left. The reply's
// captured length in message_buffer, 0 when no send was answered, or -1 when
// a send failed.
int exchange_request(EthernetLink& link, uint8_t opcode, uint32_t address, int n);
