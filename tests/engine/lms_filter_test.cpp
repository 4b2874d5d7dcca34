// The ring-buffer LMS against a line-by-line transcription of the shifting
// form: every output bit-identical, across lengths, length changes and the
// reset on switching on; and the guard against divergence.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "hostile_input.h"
#include "lms_filter.h"

using tolvek::LmsFilter;

namespace {

// The algorithm exactly as written: an input line, a reference vector that
// is shifted by one every sample, and the weights; every intermediate result
// a float, the constants other than 0.02 in double precision.
struct ShiftingLms {
    std::vector<float> lmsInput = std::vector<float>(6560, 0.0f);
    std::vector<float> lmsReference = std::vector<float>(6000, 0.0f);
    std::vector<float> lmsWeights = std::vector<float>(6000, 0.0f);

    void reset() {
        for (int i = 0; i < 6000; ++i) lmsWeights[i] = lmsReference[i] = 0.0f;
    }

    float step(float x, int L) {
        const float mu = 0.02f / static_cast<float>(L + 1);
        lmsInput[0] = x;
        lmsReference[0] = lmsInput[1];
        float y = 0.0f;
        for (int i = 0; i < L; ++i) y = y + lmsWeights[i] * lmsReference[i];
        const float e = x - y;
        const float r0 = lmsReference[0];
        const float r0Squared = r0 * r0;
        const float scaled = static_cast<float>(static_cast<double>(r0Squared) * 0.01);
        const float g = static_cast<float>(static_cast<double>(scaled) + 1.98);
        for (int i = L - 1; i >= 0; --i) {
            const float leaked = static_cast<float>(static_cast<double>(lmsWeights[i]) * 0.99996);
            lmsWeights[i] = g * mu * e * lmsReference[i] + leaked;
            lmsReference[i + 1] = lmsReference[i];
            lmsInput[i + 1] = lmsInput[i];
        }
        return y;
    }
};

// A tone of amplitude 1 engine unit in white noise of equal power.
std::vector<float> noisyTone(int n, double cyclesPerSample, unsigned seed) {
    std::mt19937 rng(seed);
    std::normal_distribution<double> noise(0.0, std::sqrt(0.5));
    std::vector<float> x(n);
    for (int i = 0; i < n; ++i) x[i] = static_cast<float>(std::sin(2 * M_PI * cyclesPerSample * i) + noise(rng));
    return x;
}

struct Segment {
    int samples;
    int taps;
    bool resetFirst;  // the stage is switched on again before this segment
};

void expectBitIdentical(const std::vector<Segment>& segments, unsigned seed) {
    SCOPED_TRACE(segments[1].taps);
    int total = 0;
    for (const auto& s : segments) total += s.samples;
    const std::vector<float> x = noisyTone(total, 0.0371, seed);
    auto fast = std::make_unique<LmsFilter>();
    ShiftingLms slow;
    int n = 0, differing = 0, first = -1;
    for (const auto& s : segments) {
        if (s.resetFirst) fast->requestReset(), slow.reset();
        for (int k = 0; k < s.samples; ++k, ++n) {
            if (std::bit_cast<uint32_t>(fast->step(x[n], s.taps)) != std::bit_cast<uint32_t>(slow.step(x[n], s.taps))) {
                if (first < 0) first = n;
                ++differing;
            }
        }
    }
    EXPECT_EQ(differing, 0) << "first difference at sample " << first;
    // The comparison means something only if the weights actually learned.
    EXPECT_NE(slow.lmsWeights[0], 0.0f);
}

}  // namespace

// At fixed lengths, and across changes: growing brings back reference
// elements that stood still at their old places; shrinking leaves elements
// behind; resets clear them.
TEST(LmsFilter, BitIdenticalToShiftingForm) {
    // clang-format off
    const std::vector<Segment> runs[] = {
        {{10000, 1, false}, {500, 1, true}, {2000, 1, false}},
        {{10000, 64, false}, {500, 64, true}, {2000, 64, false}},
        {{10000, 3000, false}, {500, 3000, true}, {2000, 3000, false}},
        {{3000, 64, false}, {1500, 10, false}, {2000, 300, false}, {1, 3000, false}, {1, 1, false},
         {3000, 3000, false}, {700, 5, false}, {1200, 64, true}, {1, 2999, false}, {2000, 1000, false},
         {300, 1, true}, {2000, 200, false}}};
    // clang-format on
    for (const auto& segments : runs) expectBitIdentical(segments, 11u + unsigned(segments[0].taps));
}

TEST(LmsFilter, ResetRequestTakesEffectAtTheNextStep) {
    auto lms = std::make_unique<LmsFilter>();
    for (float v : noisyTone(3000, 0.05, 1)) lms->step(v, 64);
    EXPECT_NE(lms->step(0.5f, 64), 0.0f);
    lms->requestReset();
    EXPECT_NE(lms->lmsWeights[0], 0.0f);  // the message thread leaves the state to the audio thread
    EXPECT_EQ(lms->step(0.5f, 64), 0.0f);
    EXPECT_NE(lms->step(0.5f, 64), 0.0f);
}

TEST(LmsFilter, OutOfRangeLengthsAreClamped) {
    for (auto [given, used] : {std::pair{0, 1}, {-7, 1}, {3001, 3000}, {1000000, 3000}}) {
        auto a = std::make_unique<LmsFilter>();
        auto b = std::make_unique<LmsFilter>();
        for (float v : noisyTone(2000, 0.05, 2)) ASSERT_EQ(a->step(v, given), b->step(v, used)) << given;
    }
}

// Loud input makes the plain step unstable and the plain form runs to
// infinity and NaN for good; the bounded step keeps the stage stable, its
// output bounded, and it predicts again once the input is back to normal.
TEST(LmsFilter, LoudInputKeepsTheStageStable) {
    for (int taps : {1, 200, 3000}) {
        SCOPED_TRACE(taps);
        auto lms = std::make_unique<LmsFilter>();
        ShiftingLms plain;
        bool plainBroke = false;
        for (float v : noisyTone(6000, 0.02, 4)) {
            const float y = lms->step(40.0f * v, taps);
            ASSERT_LE(std::fabs(y), LmsFilter::divergenceLimit);
            plainBroke = plainBroke || !std::isfinite(plain.step(40.0f * v, taps));
        }
        EXPECT_TRUE(plainBroke);

        double err = 0, sig = 0;  // back to a tone of 1 unit: the prediction follows it again
        for (int i = 0; i < 20000; ++i) {
            const float s = static_cast<float>(std::sin(2 * M_PI * 0.02 * i));
            const float y = lms->step(s, taps);
            if (i >= 10000) err += (y - s) * (y - s), sig += s * s;
        }
        EXPECT_LT(err, 0.1 * sig);
    }
}

// Full scale is 1000 units at unity input gain; the length jumps every 500 samples.
TEST(LmsFilter, OutputStaysFiniteOnHostileInput) {
    const std::vector<float> x = tolvek::test::hostileInput(4000, 1000.0f, 7);
    std::mt19937 rng(8);
    std::uniform_int_distribution<int> taps(-5, 3100);
    auto lms = std::make_unique<LmsFilter>();
    int L = 200;
    for (size_t i = 0; i < x.size(); ++i) {
        if (i % 500 == 0) L = taps(rng);
        ASSERT_TRUE(std::isfinite(lms->step(x[i], L))) << i;
    }
}
