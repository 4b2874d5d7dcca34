// The noise blanker against a transcription of its formulas, and the
// replacement rules at the edges.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "hostile_input.h"
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

// Every band of the factor k = (100 - threshold) / 10 and its edges; impulses
// of 40 x the signal, and exact zeros (never above the mean, even at k = 0).
TEST(NoiseBlanker, MatchesReferenceAtEveryThresholdBand) {
    std::mt19937 rng(21);
    std::normal_distribution<float> noise(0.0f, 0.3f);
    std::uniform_int_distribution<int> impulse(0, 300);
    for (int threshold : {1, 9, 10, 11, 50, 55, 60, 81, 90, 91, 100}) {
        NoiseBlanker b;
        ReferenceBlanker r;
        int replaced = 0;
        for (int i = 0; i < 60000; ++i) {
            float x = i % 1000 == 0 ? 0.0f : static_cast<float>(std::sin(0.05 * i)) + noise(rng);
            if (impulse(rng) == 0) x *= 40.0f;
            const float y = b.step(x, threshold);
            ASSERT_EQ(y, r.step(x, threshold)) << "threshold " << threshold << " sample " << i;
            replaced += y != x;
        }
        EXPECT_GT(replaced, 0) << threshold;
    }
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
    const std::vector<float> x = tolvek::test::hostileInput(3000, 1000.0f, 11);
    for (int thr : {-10, 1, 55, 100, 1000})
        for (float v : x) ASSERT_TRUE(std::isfinite(b.step(v, thr))) << v << " " << thr;
    EXPECT_TRUE(std::isfinite(b.blankerAvgMagnitude));
    EXPECT_TRUE(std::isfinite(b.blankerAvgSignal));
}
