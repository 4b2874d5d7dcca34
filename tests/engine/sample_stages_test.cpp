// The per-sample stages: the AGC against the numbers its design states (the
// largest gain, the attack, the hang in blocks at both speeds; the fixed gain
// with AGC off, the offline tool's linear recordings check); the noise
// blanker's factor table, what it replaces, and its first run; the auto notch and the spectral noise reduction on
// hostile input: the output stays finite, and afterwards each does its job again from scratch.
// The ring-buffer LMS against a line-by-line transcription of the shifting
// form: every output bit-identical, across lengths, length changes and the
// reset on switching on; and its guard against divergence and hostile input.
// The comb filter: exact removal of a periodic signal, its period limits, the
// set-up hand-off, and robustness on hostile input.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <cstdint>
#include <memory>
#include <thread>
#include <tuple>
#include <vector>

#include "agc.h"
#include "auto_notch.h"
#include "comb_filter.h"
#include "lms_filter.h"
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

// The algorithm exactly as written: an input line, a reference vector shifted
// by one every sample, and the weights; every intermediate result a float,
// the constants other than 0.02 in double precision.
struct ShiftingLms {
    std::vector<float> in = std::vector<float>(6560, 0.0f), ref = std::vector<float>(6000, 0.0f),
                       w = std::vector<float>(6000, 0.0f);
    void reset() { std::fill(w.begin(), w.end(), 0.0f), std::fill(ref.begin(), ref.end(), 0.0f); }
    float step(float x, int L) {
        const float mu = 0.02f / static_cast<float>(L + 1);
        in[0] = x, ref[0] = in[1];
        float y = 0.0f;
        for (int i = 0; i < L; ++i) y = y + w[i] * ref[i];
        const float e = x - y, r0Squared = ref[0] * ref[0];
        const float g = static_cast<float>(double(static_cast<float>(double(r0Squared) * 0.01)) + 1.98);
        for (int i = L - 1; i >= 0; --i) {
            w[i] = g * mu * e * ref[i] + static_cast<float>(double(w[i]) * 0.99996);
            ref[i + 1] = ref[i], in[i + 1] = in[i];
        }
        return y;
    }
};

// A tone of amplitude 1 engine unit in white noise of equal power.
static std::vector<float> noisyTone(int n, double cyclesPerSample, unsigned seed) {
    std::vector<float> x = tolvek::test::whiteNoise(size_t(n), std::sqrt(0.5), seed);
    for (int i = 0; i < n; ++i) x[i] += static_cast<float>(std::sin(2 * M_PI * cyclesPerSample * i));
    return x;
}

// At fixed lengths, and across changes: growing brings back reference
// elements that stood still at their old places; shrinking leaves elements
// behind; resets (requested, applied at the next step) clear them; lengths
// outside 1..3000 are clamped. Segments: samples, length, switched on again
// before the segment.
TEST(LmsFilter, BitIdenticalToShiftingForm) {
    // clang-format off
    const std::vector<std::tuple<int, int, bool>> runs[] = {
        {{10000, 1, false}, {500, 1, true}, {2000, 1, false}},
        {{10000, 64, false}, {500, 64, true}, {2000, 64, false}},
        {{10000, 3000, false}, {500, 3000, true}, {2000, 3000, false}},
        {{3000, 64, false}, {1500, 10, false}, {2000, 300, false}, {1, 3000, false}, {1, 1, false}, {300, 0, false},
         {300, 1000000, false}, {3000, 3000, false}, {700, 5, false}, {1200, 64, true}, {1, 2999, false},
         {2000, 1000, false}, {300, -7, true}, {300, 3001, false}, {2000, 200, false}}};
    // clang-format on
    const std::vector<float> x = noisyTone(17000, 0.0371, 11);
    for (const auto& segments : runs) {
        auto fast = std::make_unique<LmsFilter>();
        ShiftingLms slow;
        int n = 0;
        for (const auto& [samples, taps, resetFirst] : segments) {
            if (resetFirst) fast->requestReset(), slow.reset();
            for (int k = 0; k < samples; ++k, ++n)
                ASSERT_EQ(std::bit_cast<uint32_t>(fast->step(x[n], taps)),
                          std::bit_cast<uint32_t>(slow.step(x[n], std::clamp(taps, 1, 3000))))
                    << std::get<1>(segments[1]) << " sample " << n;
        }
        EXPECT_NE(slow.w[0], 0.0f);  // the weights actually learned
    }
}

// Loud input runs the plain form to infinity and NaN for good; the bounded
// step keeps the output bounded. Hostile input (full scale 1000 units, the
// length hopping across -5..3100 every 500 samples) keeps it finite. Either
// way the stage predicts again once the input is back to a tone of 1 unit.
TEST(LmsFilter, LoudAndHostileInputKeepTheStageStable) {
    for (int taps : {1, 200, 3000}) {
        auto lms = std::make_unique<LmsFilter>();
        const auto predicts = [&] {
            double err = 0, sig = 0;
            for (int i = 0; i < 20000; ++i) {
                const float s = static_cast<float>(std::sin(2 * M_PI * 0.02 * i)), y = lms->step(s, taps);
                if (i >= 10000) err += (y - s) * (y - s), sig += s * s;
            }
            return err < 0.1 * sig;
        };
        ShiftingLms plain;
        bool plainBroke = false;
        for (float v : noisyTone(6000, 0.02, 4)) {
            ASSERT_LE(std::fabs(lms->step(40.0f * v, taps)), LmsFilter::divergenceLimit) << taps;
            plainBroke = plainBroke || !std::isfinite(plain.step(40.0f * v, taps));
        }
        EXPECT_TRUE(plainBroke && predicts()) << taps;
        const std::vector<float> hostile = tolvek::test::hostileInput(4000, 1000.0f, 7);
        for (int i = 0; i < int(hostile.size()); ++i)
            ASSERT_TRUE(std::isfinite(lms->step(hostile[i], i / 500 * 397 % 3106 - 5))) << i;
        EXPECT_TRUE(predicts()) << taps;
    }
}

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
