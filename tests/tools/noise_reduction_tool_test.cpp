// Listener-level checks of the three noise-reduction stages through the
// offline tool, so through the whole engine (unity gains, AGC off, PassAll):
// the LMS lifts a tone out of white noise, the comb removes mains hum under
// speech at every stream rate, and the blanker removes impulses.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <vector>

#include "noise_reduction_signals.h"
#include "tool_runner.h"

using namespace tolvek;
using namespace tolvek::testsignals;

namespace {

// The tool's output at unity input and output gain, AGC off, PassAll, for
// a signal of whole blocks, cut to the input's length: what the engine
// gives buffer by buffer.
std::vector<float> runTool(const std::vector<float>& x, int rate, const std::string& options) {
    std::vector<float> y =
        tooltest::ToolFolder().filter(x, rate, "--input-level 0 --output-level 0 --agc off " + options);
    y.resize(x.size() / blockLength * blockLength);
    return y;
}

// SNR gain of the LMS at `taps` on a tone of 1 engine unit in white noise
// of the same power (0 dB in the full band).
double lmsSnrGainDb(int taps) {
    constexpr size_t window = 16384;
    constexpr double cycles = 1500.0 / window;   // a whole number of cycles per window
    const size_t n = 24 * blockLength + window;  // about 2.5 leak time constants, then the window
    std::vector<float> x = whiteNoise(n, std::sqrt(0.5) * 0.001, 17);
    for (size_t i = 0; i < n; ++i) x[i] += static_cast<float>(0.001 * std::sin(2 * M_PI * cycles * double(i)));
    const std::vector<float> y = runTool(x, 22050, "--lms " + std::to_string(taps));
    const size_t start = y.size() - window;
    return toneSnrDb(y, start, window, cycles) - toneSnrDb(x, start, window, cycles);
}

TEST(NoiseReductionThroughTool, LmsLiftsAToneOutOfWhiteNoise) {
    const double gain200 = lmsSnrGainDb(200), gain3000 = lmsSnrGainDb(3000);
    std::printf("LMS SNR gain on a tone at 0 dB SNR: %.1f dB at 200 taps, %.1f dB at 3000 taps\n", gain200, gain3000);
    EXPECT_GE(gain200, 10.0);
    EXPECT_GT(gain3000, gain200 + 2.0);
}

// Mains hum with two harmonics under speech, 30 s at each rate, comb on
// against comb off: the lines drop, the speech between them stays. The
// mains lie a little off the nominal, so the period has to track.
TEST(NoiseReductionThroughTool, CombRemovesHumUnderSpeechAtEveryRate) {
    const double amplitude[3] = {0.03, 0.015, 0.01};  // full scale 1.0; speech RMS 0.02
    for (const auto [rate, mainsHz] :
         {std::pair{5512, 49.95}, {11025, 49.95}, {22050, 49.95}, {44100, 49.95}, {11025, 59.95}}) {
        bool spoken = false;
        std::vector<float> x = speech(rate, 30, &spoken);
        for (size_t i = 0; i < x.size(); ++i) {
            x[i] *= 0.02f;
            for (int h = 0; h < 3; ++h)
                x[i] +=
                    static_cast<float>(amplitude[h] * std::sin(2 * M_PI * mainsHz * (h + 1) * double(i) / rate + h));
        }
        const std::vector<float> off = runTool(x, rate, ""),
                                 on = runTool(x, rate, mainsHz < 55 ? "--comb 50" : "--comb 60");
        // The last 20 s, once the period has tracked the mains.
        const size_t end = off.size(), start = end - static_cast<size_t>(20 * rate);
        double drop[3];
        for (int h = 0; h < 3; ++h)
            drop[h] = 20 * std::log10(toneAmplitude(off, start, end - start, mainsHz * (h + 1), rate) /
                                      toneAmplitude(on, start, end - start, mainsHz * (h + 1), rate));
        const std::vector<double> offPower = powerSpectrum(off, start, end), onPower = powerSpectrum(on, start, end);
        double between[2] = {0, 0};
        const double binHz = rate / 8192.0;
        for (size_t k = 1; k < offPower.size(); ++k) {
            const double f = double(k) * binHz, nearest = std::round(f / mainsHz) * mainsHz;
            if (f < 80 || f > 4000 || std::fabs(f - nearest) < std::max(3.0, 2.5 * binHz)) continue;
            between[0] += offPower[k];
            between[1] += onPower[k];
        }
        const double speechChange = dB(between[1] / between[0]);
        std::printf(
            "comb %.2f Hz at %5d Hz (%s speech): hum -%.1f dB, 2nd -%.1f dB, 3rd -%.1f dB; "
            "speech between lines %+.2f dB\n",
            mainsHz, rate, spoken ? "spoken" : "synthetic", drop[0], drop[1], drop[2], speechChange);
        EXPECT_GE(drop[0], 20.0) << rate;
        // The tracked period dithers around the mains period, which costs
        // more at the higher harmonics: 32 dB and more with spoken speech,
        // 19 dB with the synthetic stand-in.
        EXPECT_GE(drop[1], 15.0) << rate;
        EXPECT_GE(drop[2], 15.0) << rate;
        EXPECT_LT(std::fabs(speechChange), 2.0) << rate;
    }
}

// Single-sample impulses 30 dB above a tone, every 997 samples: once the
// blanker's mean has built up, their energy in the output is 20 dB down.
TEST(NoiseReductionThroughTool, BlankerRemovesImpulses) {
    constexpr int rate = 22050;
    const size_t n = static_cast<size_t>(8 * rate);
    std::vector<float> tone(n), noisy(n);
    for (size_t i = 0; i < n; ++i) {
        tone[i] = static_cast<float>(0.001 * std::sin(2 * M_PI * 700.0 * double(i) / rate));
        noisy[i] = tone[i] + (i % 997 != 500 ? 0.0f : (i / 997) % 2 ? 0.0316f : -0.0316f);
    }
    const std::vector<float> clean = runTool(tone, rate, ""), raw = runTool(noisy, rate, ""),
                             blanked = runTool(noisy, rate, "--blanker 55");
    double before = 0, after = 0;
    for (size_t i = 4 * rate; i < clean.size(); ++i) {  // the mean magnitude has built up
        before += double(raw[i] - clean[i]) * (raw[i] - clean[i]);
        after += double(blanked[i] - clean[i]) * (blanked[i] - clean[i]);
    }
    std::printf("blanker: impulse energy -%.1f dB\n", dB(before / after));
    EXPECT_GE(dB(before / after), 20.0);
}

}  // namespace
