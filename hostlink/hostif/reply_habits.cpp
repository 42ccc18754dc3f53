#include "host_interface.h"
#include "request.h"

// Whether a frame can be the reply to the request in flight. Its size must
// fit the request; beyond that, what a device puts in a reply's opcode and
// address bytes is its own affair, so the loader learns it per request kind
// and holds the device to it once learnt. Until a kind is known to repeat
// them, a reply that repeats another recent request instead is taken for
// that request's late copy.

namespace {

enum class Habit { unknown, echoing, not_echoing };

struct KindHabit {
    Habit habit = Habit::unknown;
    int echoed = 0;  // accepted replies that repeated opcode and address while unknown
    // Whether a reply that repeats an earlier request's opcode and address
    // instead of this one's is stale. A device that puts a fixed value there
    // can meet an earlier request by chance; once it does, this is dropped.
    bool earlier_echo_is_stale = true;
};

// Two replies that repeat their requests make an echoing device; a single
// one could be chance.
constexpr int ECHOES_TO_TRUST = 2;

// Memory reads, memory writes, serial reads, serial writes.
KindHabit habits[4];

// Late copies come within a few hundred milliseconds; a handful of requests
// covers that even for a device that answers in a few milliseconds, and a
// short list leaves little for a fixed value to meet by chance.
constexpr int REQUESTS_KEPT = 8;

struct SentRequest {
    uint8_t opcode;
    uint32_t address;
};

// The requests sent lately, of every kind, most recent first, each once.
SentRequest recent_requests[REQUESTS_KEPT];
int recent_count = 0;

KindHabit* habit_of(uint8_t opcode) {
    switch (opcode) {
    case OPCODE_READ_MEMORY: return &habits[0];
    case OPCODE_WRITE_MEMORY: return &habits[1];
    case OPCODE_READ_SERIAL: return &habits[2];
    case OPCODE_WRITE_SERIAL: return &habits[3];
    default: return nullptr;
    }
}

bool is_read(uint8_t opcode) { return opcode == OPCODE_READ_MEMORY || opcode == OPCODE_READ_SERIAL; }

bool repeats_request(const RequestShape& request, const uint8_t* frame) {
    return frame[23] == request.opcode && get_le32(frame + 28) == request.address;
}

bool repeats_a_recent_request(const uint8_t* frame) {
    const uint8_t opcode = frame[23];
    const uint32_t address = get_le32(frame + 28);
    for (int i = 0; i < recent_count; ++i)
        if (recent_requests[i].opcode == opcode && recent_requests[i].address == address) return true;
    return false;
}

}  // namespace

void forget_reply_habits() {
    for (KindHabit& kind : habits) kind = KindHabit{};
    recent_count = 0;
}

void note_request(uint8_t opcode, uint32_t address) {
    int at = 0;
    while (at < recent_count &&
           !(recent_requests[at].opcode == opcode && recent_requests[at].address == address))
        ++at;
    if (at == recent_count && recent_count < REQUESTS_KEPT) ++recent_count;
    if (at == REQUESTS_KEPT) at = REQUESTS_KEPT - 1;  // the oldest gives way
    for (; at > 0; --at) recent_requests[at] = recent_requests[at - 1];
    recent_requests[0] = SentRequest{opcode, address};
}

ReplyFit judge_reply(const RequestShape& request, const uint8_t* frame, int length) {
    const int field = frame[16] | frame[17] << 8;
    if (is_read(request.opcode)) {
        if (field != 12 + request.n || length < HEADER_SIZE + request.n) return ReplyFit::wrong_size;
    } else if (field < 12 || field > 12 + request.n) {
        return ReplyFit::wrong_size;
    }
    const KindHabit* kind = habit_of(request.opcode);
    if (!kind || repeats_request(request, frame)) return ReplyFit::answers;
    if (kind->habit == Habit::echoing) return ReplyFit::not_echoed;
    // The request in flight repeats nothing here, so a match is an earlier one.
    if (kind->earlier_echo_is_stale && repeats_a_recent_request(frame)) return ReplyFit::echoes_earlier;
    return ReplyFit::answers;
}

void learn_from_reply(const RequestShape& request, const uint8_t* frame) {
    KindHabit* kind = habit_of(request.opcode);
    if (!kind || kind->habit != Habit::unknown) return;
    if (!repeats_request(request, frame))
        kind->habit = Habit::not_echoing;
    else if (++kind->echoed >= ECHOES_TO_TRUST)
        kind->habit = Habit::echoing;
}

void stop_judging_by_echo(uint8_t opcode) {
    KindHabit* kind = habit_of(opcode);
    if (!kind) return;
    if (kind->habit == Habit::echoing)
        kind->habit = Habit::not_echoing;
    else
        kind->earlier_echo_is_stale = false;
}
