// The AGC's gain trajectory against a plain reference of its formulas.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "agc.h"

using tolvek::Agc;

namespace {

struct ReferenceAgc {
    float peak = 0;
    int hang = 0;
    void run(std::vector<float>& x, bool on, bool fast) {
        const float decay = fast ? 0.9995f : 0.9999f;
        const float fixedGain = float(std::pow(0.05f, 2.2) * 2);
        for (float& v : x) {
            const float s = std::fabs(v);
            if (s > peak) {
                peak = (s + 9 * peak) / 10;
                hang = fast ? 1 : 6;
            }
            v = on ? v * (0.29f / std::max(peak, 0.0006f)) : v * fixedGain * 3000;
            if (hang == 0) peak = peak * decay;
        }
        if (hang > 0) --hang;
    }
};

}  // namespace

TEST(Agc, TrajectoryMatchesReferenceAcrossModes) {
    std::mt19937 rng(5);
    std::normal_distribution<float> noise(0, 1);
    Agc agc;
    ReferenceAgc ref;
    for (int block = 0; block < 60; ++block) {
        const bool on = block % 7 != 3;
        const bool fast = (block / 10) % 2 == 1;
        const float level = block < 20 ? 0.01f : block < 40 ? 5.0f : 0.2f;  // steps up and down
        std::vector<float> x(2048);
        for (auto& v : x) v = level * noise(rng);
        std::vector<float> y = x;
        agc.process(y.data(), 2048, on, fast);
        ref.run(x, on, fast);
        for (int n = 0; n < 2048; ++n) ASSERT_EQ(y[n], x[n]) << "block " << block << " n " << n;
        ASSERT_EQ(agc.agcPeak, ref.peak);
        ASSERT_EQ(agc.agcHang, ref.hang);
    }
}

TEST(Agc, FixedGainWhenOff) {
    Agc agc;
    std::vector<float> x = {1.0f, -2.5f, 1000.0f};
    agc.process(x.data(), 3, false, false);
    EXPECT_NEAR(Agc::fixedGain() * 3000, 8.2392, 1e-4);
    EXPECT_FLOAT_EQ(x[1], -2.5f * Agc::fixedGain() * 3000);
}

// A peak holds for 6 blocks when slow (1 when fast), counted down once per
// block; a change of speed keeps the count, and there is no decay while it runs.
TEST(Agc, HangCountsBlocksAndSurvivesSpeedChange) {
    Agc agc;
    std::vector<float> x(2048, 0.0f);
    x[0] = 10.0f;
    agc.process(x.data(), 2048, true, false);
    const float peak = agc.agcPeak;
    for (int hang : {5, 4, 3, 2, 1, 0}) {
        EXPECT_EQ(agc.agcHang, hang);
        EXPECT_EQ(agc.agcPeak, peak);
        std::fill(x.begin(), x.end(), 0.0f);
        agc.process(x.data(), 2048, true, true);
    }
    EXPECT_LT(agc.agcPeak, peak * 0.5f);  // 0.9995^2048 = 0.36
}

TEST(Agc, NonFiniteSamplesDoNotPoisonThePeak) {
    Agc agc;
    std::vector<float> x(2048, 0.5f);
    x[100] = std::numeric_limits<float>::infinity();
    x[200] = std::nanf("");
    agc.process(x.data(), 2048, true, false);
    EXPECT_TRUE(std::isfinite(agc.agcPeak));
    std::vector<float> y(2048, 0.5f);
    agc.process(y.data(), 2048, true, false);
    for (float v : y) ASSERT_TRUE(std::isfinite(v));
    EXPECT_NEAR(y.back(), 0.29, 0.01);
}
