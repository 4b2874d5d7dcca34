// The auto notch and the spectral noise reduction on hostile input: the
// output stays finite, and afterwards each does its job again from scratch.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "auto_notch.h"
#include "hostile_input.h"
#include "noise_reduction_signals.h"
#include "spectral_noise_reduction.h"

using namespace tolvek;

namespace {

constexpr int rate = 11025;

// Hostile input (full scale 1000 engine units), then 4 s of `after`; the
// power of the last second of `after` in and out, in dB.
template <typename Stage>
double recoveredDropDb(Stage&& step, const std::vector<float>& after) {
    for (float v : test::hostileInput(4000, 1000.0f, 7)) EXPECT_TRUE(std::isfinite(step(v)));
    double in = 0, out = 0;
    for (size_t i = 0; i < after.size(); ++i) {
        const float y = step(after[i]);
        EXPECT_TRUE(std::isfinite(y)) << i;
        if (i >= after.size() - rate) in += double(after[i]) * after[i], out += double(y) * y;
    }
    return test::dBPower(in / out);
}

TEST(SpeechCleaningStages, RecoverFromHostileInput) {
    std::vector<float> tone(4 * rate);
    for (size_t i = 0; i < tone.size(); ++i) tone[i] = float(100 * std::sin(2 * M_PI * 1000.0 * double(i) / rate));
    auto notch = std::make_unique<AutoNotch>();
    auto nr = std::make_unique<SpectralNoiseReduction>();
    EXPECT_GE(recoveredDropDb([&](float x) { return notch->step(x, rate); }, tone), 50.0);
    EXPECT_GE(recoveredDropDb([&](float x) { return nr->step(x, 50, rate); }, test::whiteNoise(4 * rate, 10.0, 3)),
              15.0);
}

}  // namespace
