#include "host_interface.h"
#include "request.h"

// Whether a frame can be the reply to the request in flight. Its size must
// fit the request; beyond that, what a device puts in a reply's opcode and
// address bytes is its own affair, so the loader learns it per request kind
// and holds the device to it once learnt.

namespace {

enum class Habit { unknown, echoing, not_echoing };

struct KindHabit {
    Habit habit;
    int echoed;  // accepted replies that repeated opcode and address while unknown
};

// Two replies that repeat their requests make an echoing device; a single
// one could be chance.
constexpr int ECHOES_TO_TRUST = 2;

// Memory reads, memory writes, serial reads, serial writes.
KindHabit habits[4] = {};

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

}  // namespace

void forget_reply_habits() {
    for (KindHabit& kind : habits) {
        kind.habit = Habit::unknown;
        kind.echoed = 0;
    }
}

ReplyFit judge_reply(const RequestShape& request, const uint8_t* frame, int length) {
    const int field = frame[16] | frame[17] << 8;
    if (is_read(request.opcode)) {
        if (field != 12 + request.n || length < HEADER_SIZE + request.n) return ReplyFit::wrong_size;
    } else if (field < 12 || field > 12 + request.n) {
        return ReplyFit::wrong_size;
    }
    const KindHabit* kind = habit_of(request.opcode);
    if (kind && kind->habit == Habit::echoing && !repeats_request(request, frame)) return ReplyFit::not_echoed;
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

void stop_expecting_echo(uint8_t opcode) {
    KindHabit* kind = habit_of(opcode);
    if (kind && kind->habit == Habit::echoing) kind->habit = Habit::not_echoing;
}
