// The comb filter against a transcription of its formulas with a freshly
// allocated line per set-up, its period limits, the set-up hand-off, and
// robustness on hostile input.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <memory>
#include <random>
#include <thread>
#include <vector>

#include "comb_filter.h"
#include "hostile_input.h"

using tolvek::CombFilter;

namespace {

struct ReferenceComb {
    int combRate = 22050;
    const int combTeeth = 4;
    float combPeriod = 0, combPeriodMax = 0, combPeriodMin = 0, combProbeOffset = 1.0f;
    std::vector<float> combDelayLine;
    int combMask = 0, combWriteIndex = 0, combAdaptCounter = 0;
    float lowSum = 0, highSum = 0, centreSum = 0, lowPower = 0, highPower = 0, centrePower = 0;

    void setup(float combPeriodMs, int rate) {
        combRate = rate;
        combPeriod = static_cast<float>(combPeriodMs * static_cast<double>(combRate) / 1000);
        combPeriodMax = static_cast<float>(combPeriod * 1.005);
        combPeriodMin = static_cast<float>(combPeriod * 0.995);
        const int n = static_cast<int>((combPeriodMax + 11.0) * combTeeth);
        int length = 1;
        while (length < n) length *= 2;
        combDelayLine.assign(static_cast<size_t>(length), 0.0f);
        combMask = length - 1;
        combWriteIndex %= length;
    }

    double read(float d) const {
        const int i = static_cast<int>(std::trunc(d));
        const double a = std::trunc(combDelayLine[static_cast<size_t>((combWriteIndex - i) & combMask)]);
        const double b = std::trunc(combDelayLine[static_cast<size_t>((combWriteIndex - i - 1) & combMask)]);
        return (b - a) * (d - i) + a;
    }

    float probe(float p) const {
        double sum = 0;
        float d = p;
        for (int t = 0; t < combTeeth; ++t, d += p) sum += read(d);
        return static_cast<float>(std::nearbyint(sum / combTeeth));
    }

    static void integrate(float v, float& sum, float& power) {
        sum = static_cast<float>((sum + static_cast<double>(v)) * 0.999);
        power = static_cast<float>(power * 0.9999 + static_cast<double>(sum) * sum * 0.0001);
    }

    float step(float x) {
        combDelayLine[static_cast<size_t>(combWriteIndex)] = x;
        integrate(probe(combPeriod - combProbeOffset), lowSum, lowPower);
        integrate(probe(combPeriod + combProbeOffset), highSum, highPower);
        const float vCentre = probe(combPeriod);
        integrate(vCentre, centreSum, centrePower);
        if (++combAdaptCounter > 1.0 * combRate) {  // once a second
            if (centrePower != 0) {
                double r = static_cast<double>(highPower) / lowPower;
                const double qr = static_cast<double>(highPower) * lowPower / centrePower / centrePower;
                const int dir = r > 1 ? 1 : -1;
                if (dir < 0) r = 1 / r;
                const double step = dir * std::min(std::pow(r, 10), 10.0) * 0.01 / combTeeth;
                if (qr < 0.5)
                    combProbeOffset /= 2;
                else if (qr > 0.8)
                    combProbeOffset *= 2;
                combProbeOffset = std::clamp(combProbeOffset, 0.1f, 10.0f);
                combPeriod = static_cast<float>(combPeriod + step * combRate / 1000);
                combPeriod = std::clamp(combPeriod, combPeriodMin, combPeriodMax);
            }
            combAdaptCounter = 0;
        }
        combWriteIndex = (combWriteIndex + 1) & combMask;
        return static_cast<float>(x - static_cast<double>(vCentre));
    }
};

// Hum with three harmonics at `hz`, plus noise, in comb units (a few
// thousandths of full scale).
std::vector<float> humAndNoise(int n, double hz, int rate, unsigned seed) {
    std::mt19937 rng(seed);
    std::normal_distribution<double> noise(0.0, 800.0);
    std::vector<float> x(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        const double t = 2 * M_PI * hz * i / rate;
        x[static_cast<size_t>(i)] = static_cast<float>(3000 * std::sin(t) + 1500 * std::sin(2 * t + 1) +
                                                       900 * std::sin(3 * t + 2) + noise(rng));
    }
    return x;
}

}  // namespace

// Bit-identical outputs and tracking over several adaptations, with a
// re-tuning to 60 Hz and back while running; at 22050 Hz from the tuning
// the filter is constructed with.
TEST(CombFilter, MatchesReferenceThroughAdaptationAndRetuning) {
    for (int rate : {5512, 11025, 22050, 44100}) {
        SCOPED_TRACE(rate);
        auto comb = std::make_unique<CombFilter>();
        ReferenceComb ref;
        ref.setup(20.0f, 22050);
        if (rate != 22050) comb->requestSetup(20.0f, rate), ref.setup(20.0f, rate);
        const int n = 4 * rate + 100;
        const std::vector<float> x = humAndNoise(n, 49.93, rate, 3);
        for (int i = 0; i < n; ++i) {
            if (i == 2 * rate + 17) comb->requestSetup(16.66f, rate), ref.setup(16.66f, rate);
            if (i == 3 * rate + 5) comb->requestSetup(20.0f, rate), ref.setup(20.0f, rate);
            ASSERT_EQ(comb->step(x[static_cast<size_t>(i)]), ref.step(x[static_cast<size_t>(i)])) << i;
        }
        EXPECT_EQ(comb->combMask, ref.combMask);
        EXPECT_EQ(comb->combPeriodMin, ref.combPeriodMin);
        EXPECT_EQ(comb->combPeriodMax, ref.combPeriodMax);
        EXPECT_EQ(comb->combPeriod, ref.combPeriod);
        EXPECT_EQ(comb->combProbeOffset, ref.combProbeOffset);
        EXPECT_NE(comb->combPeriod, 20.0f * static_cast<float>(rate) / 1000) << "the period never moved";
    }
}

TEST(CombFilter, PeriodicInputIsRemovedFromTheFourthPeriodUntilTheFirstAdaptation) {
    auto comb = std::make_unique<CombFilter>();
    std::vector<float> period(441);
    std::mt19937 rng(5);
    std::uniform_int_distribution<int> v(-20000, 20000);
    for (float& p : period) p = static_cast<float>(v(rng));
    for (int i = 0; i < 30000; ++i) {
        const float y = comb->step(period[static_cast<size_t>(i % 441)]);
        if (i >= 1764 && i <= 22050) ASSERT_EQ(y, 0.0f) << i;
    }
    EXPECT_NE(comb->combPeriod, 441.0f);  // the first adaptation moved it
}

TEST(CombFilter, SilenceNeverMovesThePeriod) {
    auto comb = std::make_unique<CombFilter>();
    for (int i = 0; i < 3 * 22050; ++i) comb->step(0.0f);
    EXPECT_EQ(comb->combPeriod, 441.0f);
    EXPECT_EQ(comb->combProbeOffset, 1.0f);
}

// Pulled toward hum off the nominal, the period ends at the limit on that side.
TEST(CombFilter, TrackedPeriodStaysWithinItsLimits) {
    for (auto [ms, hz] : {std::pair{20.0f, 47.0}, {20.0f, 53.0}, {16.66f, 57.0}, {16.66f, 63.0}}) {
        auto comb = std::make_unique<CombFilter>();
        comb->setup(ms, 22050);
        float lo = 1e9f, hi = 0;
        for (float v : humAndNoise(22050 * 12, hz, 22050, 7)) {
            comb->step(v);
            lo = std::min(lo, comb->combPeriod);
            hi = std::max(hi, comb->combPeriod);
        }
        EXPECT_GE(lo, comb->combPeriodMin);
        EXPECT_LE(hi, comb->combPeriodMax);
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
    for (size_t i = 0; !done || i < 20000; ++i) {
        ASSERT_TRUE(std::isfinite(comb->step(x[i % x.size()])));
        ASSERT_LE(comb->combMask, CombFilter::maxLineLength - 1);
    }
    poster.join();
    comb->step(0.0f);
    EXPECT_NEAR(comb->combPeriod, 16.66 * 11025 / 1000, 1.0);
    EXPECT_EQ(comb->combMask, 1023);
}

// Hostile samples (full scale is 10^6 comb units) and nonsense tunings,
// then a plain sine.
TEST(CombFilter, NeverProducesNonFiniteValues) {
    auto comb = std::make_unique<CombFilter>();
    std::vector<float> x = tolvek::test::hostileInput(25000, 1e6f, 220);
    for (int i = 0; i < 25000; ++i) x.push_back(static_cast<float>(1000 * std::sin(i * 0.01)));
    const std::pair<float, int> tunings[] = {{20.0f, 22050}, {NAN, 44100}, {-20.0f, 22050},
                                             {1e9f, 44100},  {20.0f, 0},   {16.66f, -5}};
    for (size_t i = 0; i < x.size(); ++i) {
        if (i % 9000 == 0) comb->requestSetup(tunings[(i / 9000) % 6].first, tunings[(i / 9000) % 6].second);
        ASSERT_TRUE(std::isfinite(comb->step(x[i]))) << i;
    }
    for (float v : {comb->combPeriod, comb->combLowPower, comb->combHighPower, comb->combCentrePower,
                    comb->combCentreSum, comb->combProbeOffset})
        EXPECT_TRUE(std::isfinite(v));
}

TEST(CombFilter, ResetStartsOverAtTheCurrentTuning) {
    auto used = std::make_unique<CombFilter>();
    auto fresh = std::make_unique<CombFilter>();
    used->setup(16.66f, 11025);
    fresh->setup(16.66f, 11025);
    const std::vector<float> x = humAndNoise(3 * 11025, 59.9, 11025, 4);
    for (float v : x) used->step(v);
    used->reset();
    for (float v : x) ASSERT_EQ(used->step(v), fresh->step(v));
}
