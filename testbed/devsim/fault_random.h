#pragma once

#include <cstdint>

// Reproducible chance for the fault options: the same seed and the same
// sequence of questions give the same answers on every run and machine.
class FaultRandom {
public:
    explicit FaultRandom(uint64_t seed) : state_(seed) {}

    uint64_t next() {
        // splitmix64
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }

    // Uniform in [0, 1).
    double uniform() { return static_cast<double>(next() >> 11) * (1.0 / 9007199254740992.0); }

    // True with probability p; p of 0 never and 1 always, without a draw.
    bool chance(double p) {
        if (p <= 0.0) return false;
        if (p >= 1.0) return true;
        return uniform() < p;
    }

private:
    uint64_t state_;
};
