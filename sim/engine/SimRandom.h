// A small seeded generator whose sequence is the same on every compiler and library, so that a
// seed reproduces a whole simulated session.
#pragma once

#include <cstdint>

class SimRandom {
public:
    explicit SimRandom(uint64_t seed) : state(seed) {}

    uint64_t Next() {
        // splitmix64
        uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }

    // Uniform in [0, bound); 0 when bound is 0.
    uint32_t Below(uint32_t bound) {
        return bound == 0 ? 0 : static_cast<uint32_t>((Next() >> 32) * bound >> 32);
    }

    // True with probability 1/n.
    bool OneIn(uint32_t n) { return Below(n) == 0; }

    // Uniform in [0, 1).
    double Unit() { return static_cast<double>(Next() >> 11) * 0x1.0p-53; }

private:
    uint64_t state;
};
