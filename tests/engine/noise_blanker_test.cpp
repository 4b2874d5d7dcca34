// The noise blanker against a transcription of its formulas, and the
// replacement rules at the edges.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "noise_blanker.h"

using tolvek::NoiseBlanker;

namespace {

struct ReferenceBlanker {
    float avgMagnitude = 0.0f, avgSignal = 0.0f;
    float step(float x, int threshold) {
        const double a = std::sqrt(static_cast<double>(x) * x);
        avgMagnitude = static_cast<float>(avgMagnitude * 0.99999 + a * 0.00001);
        avgSignal = static_cast<float>(avgSignal * 0.999 + x * 0.001);
        const int k = (100 - threshold) / 10;
        if (a > k * static_cast<double>(avgMagnitude)) return x > 0 ? avgSignal : -avgSignal;
        return x;
    }
};

}  // namespace

TEST(NoiseBlanker, MatchesReferenceAtEveryThresholdBand) {
    std::mt19937 rng(21);
    std::normal_distribution<float> noise(0.0f, 0.3f);
    std::uniform_int_distribution<int> impulse(0, 300);
    for (int threshold : {1, 9, 10, 11, 50, 55, 60, 81, 90, 91, 100}) {
        NoiseBlanker b;
        ReferenceBlanker r;
        int replaced = 0;
        for (int i = 0; i < 60000; ++i) {
            float x = static_cast<float>(std::sin(0.05 * i)) + noise(rng);
            if (impulse(rng) == 0) x *= 40.0f;
            const float y = b.step(x, threshold);
            ASSERT_EQ(y, r.step(x, threshold)) << "threshold " << threshold << " sample " << i;
            replaced += y != x;
        }
        EXPECT_GT(replaced, 0) << threshold;
    }
}

TEST(NoiseBlanker, FactorFollowsTheThresholdInSteps) {
    // Built-up averages of a steady signal of magnitude 1: a sample of
    // magnitude m passes exactly while m <= k, k = (100 - threshold) / 10.
    struct Case {
        int threshold;
        int k;
    };
    for (Case c : {Case{1, 9}, {10, 9}, {11, 8}, {55, 4}, {60, 4}, {61, 3}, {90, 1}, {91, 0}, {100, 0}}) {
        NoiseBlanker b;
        b.blankerAvgMagnitude = 1.0f;
        b.blankerAvgSignal = 0.25f;
        const float below = static_cast<float>(c.k) * 0.99f, above = static_cast<float>(c.k) * 1.01f + 0.01f;
        if (c.k > 0) EXPECT_EQ(b.step(below, c.threshold), below) << c.threshold;
        b.blankerAvgMagnitude = 1.0f;
        EXPECT_NE(b.step(above, c.threshold), above) << c.threshold;
    }
}

TEST(NoiseBlanker, ReplacementCarriesTheSignAndSparesNeighbours) {
    NoiseBlanker b;
    b.blankerAvgMagnitude = 1.0f;
    b.blankerAvgSignal = 0.5f;
    EXPECT_EQ(b.step(1.0f, 55), 1.0f);
    const float avg = static_cast<float>(static_cast<double>(b.blankerAvgSignal) * 0.999 - 100 * 0.001);
    EXPECT_FLOAT_EQ(b.step(-100.0f, 55), -avg);  // 100 x the mean: replaced
    EXPECT_EQ(b.step(-1.0f, 55), -1.0f);          // the next sample passes
    EXPECT_GT(b.step(100.0f, 55), 0.0f);
    // k = 0: every non-zero sample is replaced, but 0 is not above 0.
    NoiseBlanker z;
    EXPECT_EQ(z.step(0.0f, 95), 0.0f);
    EXPECT_NE(z.step(0.3f, 95), 0.3f);
}

TEST(NoiseBlanker, FirstRunBlanksUntilTheMeanBuildsUp) {
    NoiseBlanker b;
    int lastReplaced = -1;
    for (int i = 0; i < 100000; ++i) {
        const float x = static_cast<float>(std::sin(0.1 * i));
        if (b.step(x, 55) != x) lastReplaced = i;
    }
    // Peaks of a sine (|x| = 1, mean 2/pi) pass once the mean exceeds 1/4.
    EXPECT_GT(lastReplaced, 30000);
    EXPECT_LT(lastReplaced, 60000);
}

TEST(NoiseBlanker, NeverProducesNonFiniteValues) {
    NoiseBlanker b;
    std::vector<float> x;
    for (int i = 0; i < 3000; ++i) x.push_back(0.0f);
    for (int i = 0; i < 3000; ++i) x.push_back((i / 11) % 2 ? 1000.0f : -1000.0f);
    for (int i = 0; i < 3000; ++i) x.push_back((i % 3 - 1) * 1e-41f);
    for (int i = 0; i < 3000; ++i) x.push_back(i % 50 == 0 ? (i % 100 ? INFINITY : NAN) : 3e38f * (i % 2 ? 1 : -1));
    for (int thr : {-10, 1, 55, 100, 1000}) {
        for (float v : x) ASSERT_TRUE(std::isfinite(b.step(v, thr))) << v << " " << thr;
    }
    EXPECT_TRUE(std::isfinite(b.blankerAvgMagnitude));
    EXPECT_TRUE(std::isfinite(b.blankerAvgSignal));
}
