// What the engine benchmarks feed it: the engine at its start settings for a
// rate, and one stereo block of a 1 kHz tone in noise on the left channel.
#pragma once

#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include "engine.h"

namespace tolvek::bench {

inline std::unique_ptr<Engine> engineAt(int rate) {
    auto engine = std::make_unique<Engine>();  // too large for the stack
    put(engine->settings.sampleRate, rate);
    engine->comb.requestSetup(20.0f, rate);
    return engine;
}

inline std::vector<float> toneInNoiseBlock(int rate, unsigned seed) {
    std::mt19937 rng(seed);
    std::normal_distribution<float> noise(0, 0.05f);
    std::vector<float> in(2 * blockLength);
    for (int i = 0; i < blockLength; ++i) in[2 * i] = float(0.2 * std::sin(2 * M_PI * 1000 * i / rate)) + noise(rng);
    return in;
}

}  // namespace tolvek::bench
