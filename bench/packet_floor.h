#pragma once

#include <sys/types.h>

#include <cstddef>
#include <functional>

// The floor the loader's rates are held against: frames of the loader's
// sizes going back and forth over plain packet sockets on the veth pair,
// between this process on hl0 and an echo process on dv0 that answers frames
// addressed to dv0's own MAC (which devsim leaves alone). Nothing of the
// loader is in the way, so no loader can do better.

struct RoundTrips {
    double count = 0;
    double seconds = 0;
    double rate() const { return seconds > 0 ? count / seconds : 0; }
};

// Runs `once` (one round trip; false = lost) for the given time and adds
// what it did to `tally`.
void measure_round_trips(double seconds, RoundTrips& tally, const std::function<bool()>& once);

// One slice of the floor: frames of request_bytes from hl0, each answered by
// a frame of reply_bytes from dv0 (both at least 32), for the given time. It
// uses fresh sockets (so that no backlog of the link's traffic is in the
// way) and stops devsim meanwhile (so that it takes no CPU time looking at
// frames that are not for it).
void floor_slice(pid_t devsim, size_t request_bytes, size_t reply_bytes, double seconds, RoundTrips& tally);
