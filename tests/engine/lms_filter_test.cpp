// The ring-buffer LMS against a line-by-line transcription of the shifting
// form: every output bit-identical, across lengths, length changes and the
// reset on switching on; and the guard against divergence and hostile input.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <memory>
#include <tuple>
#include <vector>

#include "lms_filter.h"
#include "noise_reduction_signals.h"

using tolvek::LmsFilter;

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
