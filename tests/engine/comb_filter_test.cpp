// The comb filter: exact removal of a periodic signal, its period limits, the
// set-up hand-off, and robustness on hostile input.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <memory>
#include <thread>
#include <vector>

#include "comb_filter.h"
#include "noise_reduction_signals.h"

using tolvek::CombFilter;

// Hum with three harmonics at `hz`, plus noise, in comb units (a few
// thousandths of full scale).
static std::vector<float> humAndNoise(int n, double hz, int rate, unsigned seed) {
    std::vector<float> x = tolvek::test::whiteNoise(size_t(n), 800.0, seed);
    for (int i = 0; i < n; ++i) {
        const double t = 2 * M_PI * hz * i / rate;
        x[size_t(i)] += float(3000 * std::sin(t) + 1500 * std::sin(2 * t + 1) + 900 * std::sin(3 * t + 2));
    }
    return x;
}

// Removed until the first adaptation, at any scale, however small: the line
// and the estimate are not rounded. Silence alone never moves the period. Pulled toward hum off the nominal,
// the period ends at the limit on that side.
TEST(CombFilter, PeriodicInputIsRemovedFromTheFourthPeriodAndThePeriodKeepsItsLimits) {
    auto quiet = std::make_unique<CombFilter>();
    for (int i = 0; i < 3 * 22050; ++i) quiet->step(0.0f);
    EXPECT_TRUE(quiet->combPeriod == 441.0f && quiet->combProbeOffset == 1.0f);
    for (const auto& [rate, period] : {std::pair{22050, 441}, {44100, 882}})
        for (float scale : {1e-3f, 1.0f, 3e5f}) {
            auto comb = std::make_unique<CombFilter>();
            comb->setup(20.0f, rate);
            const std::vector<float> once = tolvek::test::whiteNoise(size_t(period), scale, 5);
            for (int i = 0; i < rate + 2 * period; ++i) {
                const float y = comb->step(once[static_cast<size_t>(i % period)]);
                if (i >= 4 * period && i <= rate) ASSERT_EQ(y, 0.0f) << rate << " " << scale << " " << i;
            }
            EXPECT_NE(comb->combPeriod, static_cast<float>(period));  // the first adaptation moved it
        }
    for (auto [ms, hz] : {std::pair{20.0f, 47.0}, {20.0f, 53.0}, {16.66f, 57.0}, {16.66f, 63.0}}) {
        auto comb = std::make_unique<CombFilter>();
        comb->setup(ms, 22050);
        float lo = 1e9f, hi = 0;
        for (float v : humAndNoise(22050 * 12, hz, 22050, 7))
            comb->step(v), lo = std::min(lo, comb->combPeriod), hi = std::max(hi, comb->combPeriod);
        EXPECT_TRUE(lo >= comb->combPeriodMin && hi <= comb->combPeriodMax) << hz;
        EXPECT_EQ(hz < 1000 / ms ? hi : lo, hz < 1000 / ms ? comb->combPeriodMax : comb->combPeriodMin) << hz;
    }
}

// A set-up posted from another thread while the step runs: the step picks
// it up between samples and never sees a half-applied tuning.
TEST(CombFilter, SetupHandOffFromAnotherThread) {
    auto comb = std::make_unique<CombFilter>();
    std::atomic<bool> done{false};
    std::thread poster([&] {
        for (int i = 0; i < 2000; ++i) comb->requestSetup(i % 2 ? 16.66f : 20.0f, i % 3 ? 44100 : 5512);
        comb->requestSetup(16.66f, 11025);
        done = true;
    });
    const std::vector<float> x = humAndNoise(20000, 50, 22050, 9);
    for (size_t i = 0; !done || i < 20000; ++i)
        ASSERT_TRUE(std::isfinite(comb->step(x[i % x.size()])) && comb->combMask < CombFilter::maxLineLength) << i;
    poster.join();
    comb->step(0.0f);
    EXPECT_NEAR(comb->combPeriod, 16.66 * 11025 / 1000, 1.0);
    EXPECT_EQ(comb->combMask, 1023);
}

// Hostile samples (full scale is 10^6 comb units) and nonsense tunings, then a
// plain sine; after a reset the stage runs exactly as a fresh one.
TEST(CombFilter, HostileInputAndReset) {
    auto comb = std::make_unique<CombFilter>();
    std::vector<float> x = tolvek::test::hostileInput(25000, 1e6f, 220);
    for (int i = 0; i < 25000; ++i) x.push_back(static_cast<float>(1000 * std::sin(i * 0.01)));
    const std::pair<float, int> tunings[] = {{20.0f, 22050}, {NAN, 44100}, {-20.0f, 22050},
                                             {1e9f, 44100},  {20.0f, 0},   {16.66f, -5}};
    for (size_t i = 0; i < x.size(); ++i) {
        if (i % 9000 == 0) comb->requestSetup(tunings[i / 9000 % 6].first, tunings[i / 9000 % 6].second);
        ASSERT_TRUE(std::isfinite(comb->step(x[i]))) << i;
    }
    for (float v : {comb->combPeriod, comb->combLowPower, comb->combHighPower, comb->combCentrePower,
                    comb->combCentreSum, comb->combProbeOffset})
        EXPECT_TRUE(std::isfinite(v));
    auto fresh = std::make_unique<CombFilter>();
    comb->setup(16.66f, 11025), fresh->setup(16.66f, 11025);
    const std::vector<float> hum = humAndNoise(3 * 11025, 59.9, 11025, 4);
    for (float v : hum) comb->step(v);
    comb->reset();
    for (float v : hum) ASSERT_EQ(comb->step(v), fresh->step(v));
}
