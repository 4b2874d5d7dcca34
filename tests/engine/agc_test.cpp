// The AGC against the numbers its design states: the largest gain, the
// attack, the hang in blocks at both speeds, the fixed gain with AGC off.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "agc.h"

using tolvek::Agc;

// Below the floor of 0.0006 the gain is 0.29 / 0.0006 = 483.3, zeros stay 0;
// with AGC off the gain is a fixed 8.2392. A loud start after silence: the
// peak moves a tenth of the way, so the first loud sample leaves at ten times
// the target of 0.29, and the samples settle at the target.
TEST(Agc, LargestGainFixedGainAndAttack) {
    for (float x : {0.0f, 1e-7f, -3e-6f, 5e-5f, -2.5f}) {
        Agc agc;
        std::vector<float> block(2048, x);
        agc.process(block.data(), 2048, x > -1, false);
        EXPECT_NEAR(block[0], x * (x > -1 ? 483.3 : 8.2392), std::fabs(x) * (x > -1 ? 0.05 : 1e-4)) << x;
    }
    for (float level : {0.01f, 1.0f, 1000.0f}) {
        Agc agc;
        std::vector<float> block(2048, 0.0f);
        agc.process(block.data(), 2048, true, false);
        std::fill(block.begin() + 100, block.end(), level);
        agc.process(block.data(), 2048, true, false);
        EXPECT_NEAR(block[100], 2.9, 1e-4) << level;
        EXPECT_NEAR(block[2047], 0.29, 0.01) << level;
    }
}

// A peak in block t holds the gain for the rest of block t; the decay, seen
// as a rising gain on a small steady signal, resumes in block t + 1 with
// Fast and in block t + 6 with Slow; switching speed keeps a running hang.
TEST(Agc, DecayResumesAfterTheHang) {
    for (auto [fast, firstDecaying] : {std::pair{true, 1}, {false, 6}}) {
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
}

TEST(Agc, NonFiniteSamplesDoNotPoisonThePeak) {
    Agc agc;
    std::vector<float> x(2048, 0.5f), y = x;
    x[100] = INFINITY, x[200] = NAN;
    agc.process(x.data(), 2048, true, false);
    EXPECT_TRUE(std::isfinite(agc.agcPeak));
    agc.process(y.data(), 2048, true, false);
    for (float v : y) ASSERT_TRUE(std::isfinite(v));
    EXPECT_NEAR(y.back(), 0.29, 0.01);
}
