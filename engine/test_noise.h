// Uniform 30-bit pseudo-random integers for the test-noise source. The
// engine owns the generator, so the audio thread never calls a library
// generator that might lock.
#pragma once

#include <cstdint>

namespace tolvek {

struct TestNoise {
    uint64_t state = 0x853c49e6748fea9bULL;  // PCG32 state

    // Next integer, uniform over 0..1073741823.
    uint32_t next() noexcept {
        const uint64_t old = state;
        state = old * 6364136223846793005ULL + 1442695040888963407ULL;
        const uint32_t xorshifted = static_cast<uint32_t>(((old >> 18u) ^ old) >> 27u);
        const uint32_t rot = static_cast<uint32_t>(old >> 59u);
        const uint32_t r = (xorshifted >> rot) | (xorshifted << ((32u - rot) & 31u));
        return r >> 2;
    }

    // A test sample in [0, 1.0737), full scale 1.0.
    float sample() noexcept { return static_cast<float>(next() * 1e-9); }
};

}  // namespace tolvek
