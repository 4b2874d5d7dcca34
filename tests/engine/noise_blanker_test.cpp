// The noise blanker's factor table, what it replaces, and its first run.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "hostile_input.h"
#include "noise_blanker.h"

using tolvek::NoiseBlanker;

// After 5000 samples of magnitude 1 the mean magnitude is 1; a sample just
// above k times it is replaced, one just below passes, and so do the
// samples around it. k: 9 for thresholds 1..10, 8 for 11..20, 4 for 51..60,
// 1 for 81..90, 0 for 91..100 (where every non-zero sample is replaced).
TEST(NoiseBlanker, ReplacesSamplesAboveTheFactorTimesTheMean) {
    for (auto [threshold, k] :
         {std::pair{1, 9}, {10, 9}, {11, 8}, {20, 8}, {51, 4}, {55, 4}, {60, 4}, {81, 1}, {90, 1}, {91, 0}, {100, 0}}) {
        for (double offset : {-0.25, 0.25}) {
            NoiseBlanker b;
            for (int i = 0; i < 5000; ++i)
                ASSERT_EQ(b.step(i % 2 ? 1.0f : -1.0f, threshold) != (i % 2 ? 1.0f : -1.0f), k == 0);
            const float spike = static_cast<float>(k + offset), y = b.step(spike, threshold);
            EXPECT_EQ(y != spike, offset > 0 || k == 0) << threshold << " " << spike;
            if (y != spike) EXPECT_LT(std::fabs(y), 0.01f);         // the short-term mean of an alternating signal
            if (k > 1) EXPECT_EQ(b.step(-1.0f, threshold), -1.0f);  // at k = 1 the mean has moved below 1
        }
    }
}

// Switched on for the first time, the blanker passes a steady sine from its
// first sample, and a click 100 times the signal a second later is replaced;
// zero is never above the mean, even at factor 0. Hostile input and
// thresholds never give a non-finite value.
TEST(NoiseBlanker, FirstRunAndHostileInput) {
    NoiseBlanker b;
    for (int i = 0; i < 22050; ++i) {
        const float x = static_cast<float>(0.01 * std::sin(0.1 * i));
        ASSERT_EQ(b.step(x, 55), x) << i;
    }
    EXPECT_NE(b.step(1.0f, 55), 1.0f);
    EXPECT_EQ(b.step(0.0f, 100), 0.0f);
    for (int thr : {-10, 1, 55, 100, 1000})
        for (float v : tolvek::test::hostileInput(3000, 1000.0f, 11)) ASSERT_TRUE(std::isfinite(b.step(v, thr))) << thr;
    EXPECT_TRUE(std::isfinite(b.blankerAvgMagnitude) && std::isfinite(b.blankerAvgSignal));
}
