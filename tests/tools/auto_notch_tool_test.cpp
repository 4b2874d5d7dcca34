// The automatic notch through the offline tool at every rate: two carriers
// 10 dB above speech at -20 dBFS go within a second and stay gone, the speech
// between them keeps its level and spectrum, a gliding carrier is followed,
// and speech alone passes unchanged at the start settings.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <functional>
#include <tuple>
#include <vector>

#include "noise_reduction_signals.h"
#include "tool_runner.h"

using namespace tolvek;
using namespace tolvek::test;

namespace {

constexpr double toolDelay = 1025;  // frames from the tool's input to its output

// Amplitude, over output frames [start, start + n), of the component whose
// phase at input time t (seconds) is phase(t).
double coherentAmplitude(const std::vector<float>& y, int rate, size_t start, size_t n,
                         const std::function<double(double)>& phase) {
    double re = 0, im = 0, wsum = 0;
    for (size_t i = 0; i < n; ++i) {
        const double w = 0.5 - 0.5 * std::cos(2 * M_PI * (double(i) + 0.5) / double(n));
        const double ph = phase((double(start + i) - toolDelay) / rate);
        re += w * y[start + i] * std::cos(ph);
        im += w * y[start + i] * std::sin(ph);
        wsum += w;
    }
    return 2 * std::hypot(re, im) / wsum;
}

// Worst drop in dB of that component from `off` to `on`, over windows of
// `seconds` from one second after the start to the end. Long windows see
// less of the speech around a steady carrier; a glide needs short ones.
double worstDropDb(const std::vector<float>& off, const std::vector<float>& on, int rate, size_t end,
                   const std::function<double(double)>& phase, double seconds) {
    double worst = 1e9;
    const size_t n = size_t(seconds * rate);
    for (size_t s = size_t(rate) + size_t(toolDelay); s + n <= end; s += n)
        worst = std::min(worst, 20 * std::log10(coherentAmplitude(off, rate, s, n, phase) /
                                                coherentAmplitude(on, rate, s, n, phase)));
    return worst;
}

double bandPowerDb(const std::vector<float>& y, size_t start, size_t end, int rate, double lo, double hi) {
    const std::vector<double> p = powerSpectrum(y, start, end);
    double sum = 0;
    for (size_t k = 0; k < p.size(); ++k)
        if (double(k) * rate / 8192 >= lo && double(k) * rate / 8192 <= hi) sum += p[k];
    return dBPower(sum);
}

TEST(AutoNotchThroughTool, RemovesCarriersAndFollowsAGlideWhileSpeechStays) {
    const double carrier = 0.1 * std::sqrt(10.0) * std::sqrt(2.0);  // amplitude 10 dB above speech at -20 dBFS
    // One row two minutes long: the carriers stay down, the glide is followed
    // from 700 Hz to 3100 Hz, and speech alone stays unchanged.
    for (const auto& [rate, inputLevel, seconds] :
         {std::tuple{5512, 0, 10}, {11025, 30, 120}, {22050, 60, 10}, {44100, 20, 10}}) {
        const std::vector<float> voice = speech(rate, seconds);
        std::vector<float> plain(voice.size()), steady(voice.size()), glide(voice.size());
        const auto steadyPhase = [](double f) { return [f](double t) { return 2 * M_PI * f * t; }; };
        const auto glidePhase = [](double t) { return 2 * M_PI * (700 * t + 10 * t * t); };  // 20 Hz/s up from 700 Hz
        for (size_t i = 0; i < voice.size(); ++i) {
            const double t = double(i) / rate;
            plain[i] = 0.1f * voice[i];
            steady[i] = static_cast<float>(plain[i] +
                                           carrier * (std::cos(steadyPhase(900)(t)) + std::cos(steadyPhase(1700)(t))));
            glide[i] = static_cast<float>(plain[i] + carrier * std::cos(glidePhase(t)));
        }
        const std::string opts = "--agc off --output-level 0 --input-level " + std::to_string(inputLevel);
        test::ToolFolder tool;
        const auto run = [&](const std::vector<float>& x, const std::string& o) { return tool.filter(x, rate, o); };
        const std::vector<float> speechOff = run(plain, opts), steadyOff = run(steady, opts),
                                 steadyOn = run(steady, opts + " --auto-notch"), glideOff = run(glide, opts),
                                 glideOn = run(glide, opts + " --auto-notch");
        const size_t start = size_t(rate) + size_t(toolDelay), end = voice.size();
        const double drop900 = worstDropDb(steadyOff, steadyOn, rate, end, steadyPhase(900), 2),
                     drop1700 = worstDropDb(steadyOff, steadyOn, rate, end, steadyPhase(1700), 2),
                     dropGlide = worstDropDb(glideOff, glideOn, rate, end, glidePhase, 0.5);
        const double level =
            bandPowerDb(steadyOn, start, end, rate, 0, rate) - bandPowerDb(speechOff, start, end, rate, 0, rate);
        const double between =
            bandPowerDb(steadyOn, start, end, rate, 950, 1650) - bandPowerDb(speechOff, start, end, rate, 950, 1650);
        // Speech alone at the start settings (input level 90, slow AGC).
        const std::vector<float> startOff = run(plain, ""), startOn = run(plain, "--auto-notch");
        const double alone =
            bandPowerDb(startOn, start, end, rate, 0, rate) - bandPowerDb(startOff, start, end, rate, 0, rate);
        std::printf(
            "auto notch at %5d Hz, input level %d, %3d s: 900 Hz -%.1f dB, 1700 Hz -%.1f dB, glide -%.1f dB "
            "(worst 2 s, glide worst 0.5 s, from 1 s on); speech %+.2f dB, between the carriers %+.2f dB, "
            "speech alone %+.2f dB\n",
            rate, inputLevel, seconds, drop900, drop1700, dropGlide, level, between, alone);
        EXPECT_GE(drop900, 50.0) << rate;
        EXPECT_GE(drop1700, 50.0) << rate;
        EXPECT_GE(dropGlide, 30.0) << rate;
        EXPECT_LT(std::fabs(level), 1.0) << rate;
        EXPECT_LT(std::fabs(between), 2.0) << rate;
        EXPECT_LT(std::fabs(alone), 1.0) << rate;
    }
}

}  // namespace
