// What the comb, the LMS and the blanker do for a listener, through the
// offline tool and so through the whole engine, at the program's start
// settings (input level 90, AGC slow) and across the input-level range, on
// spoken speech as well as tones.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <string>
#include <vector>

#include "noise_reduction_signals.h"
#include "tool_runner.h"

using namespace tolvek;
using namespace tolvek::test;

namespace {

// The sanitizer build's tool runs many times slower: fewer rows there.
#if defined(__SANITIZE_ADDRESS__)
const std::vector<int> rates = {22050};
constexpr int levelStep = 30;
#else
const std::vector<int> rates = {22050, 44100};
constexpr int levelStep = 10;
#endif

// Spoken speech at `rate`, RMS 1, 12 s, made once per rate.
const std::vector<float>& voice(int rate) {
    static std::map<int, std::vector<float>> made;
    if (!made.count(rate)) made[rate] = speech(rate, 12);
    return made[rate];
}

std::vector<float> mix(const std::vector<float>& a, double gainA, const std::vector<float>& b, double gainB) {
    std::vector<float> x(a.size());
    for (size_t i = 0; i < x.size(); ++i) x[i] = static_cast<float>(gainA * a[i] + gainB * b[i]);
    return x;
}

// The tool's output for x at `inputLevel`, aligned with the input and cut
// to its length. Every measure below compares runs at one input level, so
// the chain's gain cancels.
std::vector<float> runTool(const std::vector<float>& x, int rate, int inputLevel, const std::string& options) {
    const std::vector<float> y = test::ToolFolder().filter(
        x, rate, "--input-level " + std::to_string(inputLevel) + " --output-level 100 " + options);
    return {y.begin() + filterDelay, y.begin() + static_cast<long>(filterDelay + x.size())};
}

double power(const std::vector<float>& x, size_t from, size_t to) {
    double sum = 0;
    for (size_t i = from; i < to; ++i) sum += double(x[i]) * x[i];
    return sum;
}

// Hum (49.97 Hz, its 2nd and 3rd harmonics 6 and 10 dB down) alone over
// -90 dBFS noise and under speech at -20 dBFS, AGC off so the runs compare
// linearly. The hum left is what the comb's output on background + hum holds
// beyond its output on the background alone. Every input level must remove
// as much as level 0, where the arithmetic has a million steps per full
// scale. On the noise alone the comb adds nothing: white noise through it
// gains at most 10 log(1 + 4 / 16) = 1 dB.
TEST(StagesThroughTool, CombRemovesHumAtEveryInputLevel) {
    constexpr double mainsHz = 49.97, harmonicDb[3] = {0, -6, -10};
    for (int rate : rates) {
        const size_t n = static_cast<size_t>(12 * rate), from = static_cast<size_t>(2 * rate);
        std::vector<float> hum(n);
        for (size_t i = 0; i < n; ++i)
            for (int h = 0; h < 3; ++h)
                hum[i] += static_cast<float>(fromDb(harmonicDb[h]) *
                                             std::sin(2 * M_PI * mainsHz * (h + 1) * double(i) / rate + h));
        const std::vector<float> noise = whiteNoise(n, fromDb(-90), 3), talk = mix(voice(rate), fromDb(-20), hum, 0);
        std::map<std::pair<double, const void*>, double> atLevel0[3];
        for (int level : {0, 60, 90}) {
            for (const std::vector<float>* background : {&noise, &talk}) {
                const std::vector<float> clean = runTool(*background, rate, level, "--agc off --comb 50");
                if (background == &noise)
                    EXPECT_LT(dBPower(power(clean, from, n) / power(runTool(noise, rate, level, "--agc off"), from, n)),
                              1.0)
                        << rate << " " << level;
                for (double humDb : {-30.0, -45.0, -60.0}) {
                    const std::vector<float> x = mix(*background, 1, hum, fromDb(humDb));
                    const std::vector<float> off = runTool(x, rate, level, "--agc off");
                    std::vector<float> left = runTool(x, rate, level, "--agc off --comb 50");
                    for (size_t i = 0; i < n; ++i) left[i] -= clean[i];
                    for (int h = 0; h < 3; ++h) {
                        const auto phase = steadyPhase(mainsHz * (h + 1));
                        const double removed = dBAmplitude(amplitudeOf(off, from, n - from, rate, phase) /
                                                           amplitudeOf(left, from, n - from, rate, phase));
                        double& reference = atLevel0[h][{humDb, background}];
                        if (level == 0) reference = removed;
                        EXPECT_GE(removed, std::max(h == 0 ? 28.0 : 14.0, reference - 1.0))
                            << rate << " " << level << " " << humDb << " " << (background == &noise) << " " << h;
                    }
                }
            }
        }
    }
}

// SNR of y against the clean signal, block by block so the AGC's changing
// gain does not count as noise: in each 2048-frame block the best-scaled copy
// of the clean signal is the signal and the rest is noise.
double blockSnrDb(const std::vector<float>& y, const std::vector<float>& clean, size_t from, size_t to) {
    double signal = 0, noise = 0;
    for (size_t s = from; s + blockLength <= to; s += blockLength) {
        double ys = 0, ss = 0, yy = 0;
        for (size_t i = s; i < s + blockLength; ++i)
            ys += double(y[i]) * clean[i], ss += double(clean[i]) * clean[i], yy += double(y[i]) * y[i];
        if (ss == 0) continue;
        signal += ys * ys / ss;
        noise += yy - ys * ys / ss;
    }
    return dBPower(signal / noise);
}

// A tone in white noise at 0 dB SNR and speech in white noise at 5 dB SNR,
// both at -11 dBFS, at the start settings (AGC slow) and at every tenth input
// level: the LMS lifts the tone and never loses on speech, and its output
// stays within 2 x full scale.
TEST(StagesThroughTool, LmsGainsAtEveryInputLevel) {
    constexpr int rate = 22050;
    constexpr size_t window = 16384, n = 24 * blockLength + window, from = n - window;
    constexpr double cycles = 1500.0 / window;  // a whole number of cycles per window
    const double total = fromDb(-11);
    std::vector<float> tone(n);
    for (size_t i = 0; i < n; ++i) tone[i] = static_cast<float>(std::sin(2 * M_PI * cycles * double(i)));
    const std::vector<float> noise = whiteNoise(n, 1.0, 17), talk(voice(rate).begin(), voice(rate).begin() + long(n));
    const std::vector<float> toneIn = mix(tone, total, noise, total / std::sqrt(2.0));
    const double speechGain = total / std::sqrt(1 + fromDb(-5) * fromDb(-5));
    const std::vector<float> talkIn = mix(talk, speechGain, noise, speechGain * fromDb(-5));
    const double toneSnrIn = toneSnrDb(toneIn, from, window, cycles),
                 talkSnrIn = blockSnrDb(talkIn, talk, blockLength, n);
    for (int taps : {16, 200, 3000}) {
        for (int level = 0; level <= 90; level += levelStep) {
            const std::string lms = "--lms " + std::to_string(taps);
            const double toneGain = toneSnrDb(runTool(toneIn, rate, level, lms), from, window, cycles) - toneSnrIn;
            const std::vector<float> talkOut = runTool(talkIn, rate, level, lms);
            double peak = 0;
            for (size_t i = blockLength; i < n; ++i) peak = std::max(peak, double(std::fabs(talkOut[i])));
            // A 16-tap filter can lift a tone at most by 10 log(16 / 2) = 9 dB.
            EXPECT_GE(toneGain, taps == 16 ? 5.0 : 10.0) << taps << " " << level;
            // At the start level the plain step is far inside the bound, and
            // so small that the leak holds the weights back and colours the
            // speech (measured -2.8 dB at 200 taps, -6.6 dB at 3000); the
            // bounded step at 3000 taps follows speech a little slowly.
            EXPECT_GE(blockSnrDb(talkOut, talk, blockLength, n) - talkSnrIn, level == 90    ? -7.0
                                                                             : taps == 3000 ? -2.0
                                                                                            : -1.0)
                << taps << " " << level;
            EXPECT_LE(peak, 2.0) << taps << " " << level;
        }
    }
}

// Single-sample clicks 30 dB above speech, every 997 samples, with the
// blanker on from the first sample of the file (AGC off): the clicks' energy
// drops, and outside them the first second of speech is changed no more than
// the speech from 8 s on, once the long-term mean has settled.
TEST(StagesThroughTool, BlankerRemovesClicksFromTheFirstSecond) {
    for (int rate : rates) {
        const size_t n = static_cast<size_t>(12 * rate), second = static_cast<size_t>(rate);
        const std::vector<float> cleanTalk = mix(voice(rate), fromDb(-30), voice(rate), 0);
        std::vector<float> clicked = cleanTalk;
        for (size_t i = 500; i < n; i += 997) clicked[i] += (i / 997) % 2 ? 1.0f : -1.0f;
        for (int level : {0, 60, 90}) {
            const std::vector<float> clean = runTool(cleanTalk, rate, level, "--agc off"),
                                     raw = runTool(clicked, rate, level, "--agc off"),
                                     blanked = runTool(clicked, rate, level, "--agc off --blanker 55");
            double clicksBefore = 0, clicksAfter = 0, speech[2] = {0, 0}, changed[2] = {0, 0};
            for (size_t i = 0; i < n; ++i) {
                const double before = raw[i] - clean[i], after = blanked[i] - clean[i];
                if (i % 997 == 500) {
                    clicksBefore += before * before, clicksAfter += after * after;
                } else if (i < second || i >= 8 * second) {
                    speech[i >= second] += double(clean[i]) * clean[i], changed[i >= second] += after * after;
                }
            }
            EXPECT_GE(dBPower(clicksBefore / clicksAfter), 25.0) << rate << " " << level;
            EXPECT_LT(dBPower(changed[0] / speech[0]), dBPower(changed[1] / speech[1]) + 1.0) << rate << " " << level;
        }
    }
}

}  // namespace
