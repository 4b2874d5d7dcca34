// The per-sample stages: the AGC against the numbers its design states (the
// largest gain, the attack, the hang in blocks at both speeds; the fixed gain
// with AGC off, the offline tool's linear recordings check); the noise
// blanker's factor table, what it replaces, and its first run; the auto notch and the spectral noise reduction on
// hostile input: the output stays finite, and afterwards each does its job again from scratch.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "agc.h"
#include "auto_notch.h"
#include "noise_blanker.h"
#include "noise_reduction_signals.h"
#include "spectral_noise_reduction.h"

using namespace tolvek;

// Hostile input (full scale 1000 engine units), then 4 s of a 1 kHz tone for
// the notch and of white noise for the noise reduction: the output stays
// finite, and the power of the last second drops by 50 dB and 15 dB again.
TEST(SpeechCleaningStages, RecoverFromHostileInput) {
    constexpr int rate = 11025;
    auto notch = std::make_unique<AutoNotch>();
    auto nr = std::make_unique<SpectralNoiseReduction>();
    const std::vector<float> noise = test::whiteNoise(4 * rate, 10.0, 3);
    for (bool isNotch : {true, false}) {
        const auto step = [&](float x) { return isNotch ? notch->step(x, rate) : nr->step(x, 50, rate); };
        for (float v : test::hostileInput(4000, 1000.0f, 7)) ASSERT_TRUE(std::isfinite(step(v)));
        double in = 0, out = 0;
        for (int i = 0; i < 4 * rate; ++i) {
            const float x = isNotch ? float(100 * std::sin(2 * M_PI * 1000.0 * i / rate)) : noise[i], y = step(x);
            ASSERT_TRUE(std::isfinite(y)) << i;
            if (i >= 3 * rate) in += double(x) * x, out += double(y) * y;
        }
        EXPECT_GE(test::dBPower(in / out), isNotch ? 50.0 : 15.0) << isNotch;
    }
}

// After 5000 samples of magnitude 1 the mean magnitude is 1; a sample just
// above k times it is replaced, one just below passes, and so do the
// samples around it. k: 9 for thresholds 1..10, 8 for 11..20, 4 for 51..60,
// 1 for 81..90, 0 for 91..100 (where every non-zero sample is replaced).
// Switched on for the first time, the blanker passes a steady sine from its
// first sample, and a click 100 times the signal a second later is replaced;
// zero is never above the mean, even at factor 0. Hostile input and
// thresholds never give a non-finite value.
TEST(NoiseBlanker, ReplacesSamplesAboveTheFactorTimesTheMean) {
    for (auto [threshold, k] :
         {std::pair{1, 9}, {10, 9}, {11, 8}, {20, 8}, {51, 4}, {55, 4}, {60, 4}, {81, 1}, {90, 1}, {91, 0}, {100, 0}})
        for (double offset : {-0.25, 0.25}) {
            NoiseBlanker b;
            for (int i = 0; i < 5000; ++i)
                ASSERT_EQ(b.step(i % 2 ? 1.0f : -1.0f, threshold) != (i % 2 ? 1.0f : -1.0f), k == 0);
            const float spike = static_cast<float>(k + offset), y = b.step(spike, threshold);
            EXPECT_EQ(y != spike, offset > 0 || k == 0) << threshold << " " << spike;
            if (y != spike) EXPECT_LT(std::fabs(y), 0.01f);         // the short-term mean of an alternating signal
            if (k > 1) EXPECT_EQ(b.step(-1.0f, threshold), -1.0f);  // at k = 1 the mean has moved below 1
        }
    NoiseBlanker b;
    for (int i = 0; i < 22050; ++i)
        ASSERT_EQ(b.step(float(0.01 * std::sin(0.1 * i)), 55), float(0.01 * std::sin(0.1 * i))) << i;
    EXPECT_NE(b.step(1.0f, 55), 1.0f);
    EXPECT_EQ(b.step(0.0f, 100), 0.0f);
    for (int thr : {-10, 1, 55, 100, 1000})
        for (float v : test::hostileInput(3000, 1000.0f, 11)) ASSERT_TRUE(std::isfinite(b.step(v, thr))) << thr;
    EXPECT_TRUE(std::isfinite(b.blankerAvgMagnitude) && std::isfinite(b.blankerAvgSignal));
}

// Below the floor of 0.0006 the gain is 0.29 / 0.0006 = 483.3, zeros stay 0.
// A loud start after silence: the peak moves a tenth of the way, so the first
// loud sample leaves at ten times the target of 0.29, and the samples settle
// at the target, even with an infinity and a NaN among them.
// A peak in block t holds the gain for the rest of block t; the decay, seen
// as a rising gain on a small steady signal, resumes in block t + 1 with
// Fast and in block t + 6 with Slow; switching speed keeps a running hang.
TEST(Agc, StatedGainsAttackAndHang) {
    for (float x : {0.0f, 1e-7f, -3e-6f, 5e-5f})  // the first sample of a fresh stage
        EXPECT_NEAR(Agc().step(x, true, false), x * 483.3, std::fabs(x) * 0.05) << x;
    for (float level : {0.01f, 1.0f, 1000.0f}) {
        Agc agc;
        std::vector<float> block(2048, level);
        std::fill(block.begin(), block.begin() + 100, 0.0f);
        agc.process(block.data(), 2048, true, false);
        EXPECT_NEAR(block[100], 2.9, 1e-4) << level;
        EXPECT_NEAR(block[2047], 0.29, 0.01) << level;
        block.assign(2048, level), block[100] = INFINITY, block[200] = NAN;
        agc.process(block.data(), 2048, true, false);
        EXPECT_NEAR(block[2047], 0.29, 0.01) << level;
    }
    for (auto [fast, firstDecaying] : {std::pair{true, 1}, {false, 6}})
        for (bool switchSpeed : {false, true}) {
            Agc agc;
            for (int t = 0; t <= 7; ++t) {
                std::vector<float> block(2048, 0.001f);
                if (t == 0) block[0] = 100.0f;
                agc.process(block.data(), 2048, true, t > 1 && switchSpeed ? !fast : fast);
                EXPECT_EQ(block[2047] > block[1] * 1.01f, t >= firstDecaying) << fast << switchSpeed << " block " << t;
            }
        }
}
