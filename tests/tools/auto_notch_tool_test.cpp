// The automatic notch through the offline tool at every rate: two carriers
// 10 dB above speech at -20 dBFS go within a second and stay gone, the speech
// between them keeps its level and spectrum, a gliding carrier is followed,
// and speech alone passes unchanged at the start settings.
#include <gtest/gtest.h>

#include <cmath>
#include <tuple>
#include <vector>

#include "noise_reduction_signals.h"
#include "tool_runner.h"

using namespace tolvek;
using namespace tolvek::test;

namespace {

// Worst drop in dB of that component from `off` to `on`, over windows of
// `seconds` from one second after the start to the end. Long windows see
// less of the speech around a steady carrier; a glide needs short ones.
double worstDropDb(const std::vector<float>& off, const std::vector<float>& on, int rate, size_t end,
                   const std::function<double(double)>& phase, double seconds) {
    double worst = 1e9;
    const size_t n = size_t(seconds * rate);
    for (size_t s = size_t(rate) + filterDelay; s + n <= end; s += n)
        worst = std::min(worst, dBAmplitude(amplitudeOf(off, s, n, rate, phase, filterDelay) /
                                            amplitudeOf(on, s, n, rate, phase, filterDelay)));
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
        const size_t start = size_t(rate) + filterDelay, end = voice.size();
        // Level changes of `on` against `off` in a band, from one second on.
        const auto gain = [&](const std::vector<float>& on, const std::vector<float>& off, double lo, double hi) {
            return bandPowerDb(on, start, end, rate, lo, hi) - bandPowerDb(off, start, end, rate, lo, hi);
        };
        EXPECT_GE(worstDropDb(steadyOff, steadyOn, rate, end, steadyPhase(900), 2), 50.0) << rate;
        EXPECT_GE(worstDropDb(steadyOff, steadyOn, rate, end, steadyPhase(1700), 2), 50.0) << rate;
        EXPECT_GE(worstDropDb(glideOff, glideOn, rate, end, glidePhase, 0.5), 30.0) << rate;
        EXPECT_LT(std::fabs(gain(steadyOn, speechOff, 0, rate)), 1.0) << rate;
        EXPECT_LT(std::fabs(gain(steadyOn, speechOff, 950, 1650)), 2.0) << rate;  // between the carriers
        // Speech alone at the start settings (input level 90, slow AGC).
        EXPECT_LT(std::fabs(gain(run(plain, "--auto-notch"), run(plain, ""), 0, rate)), 1.0) << rate;
    }
}

}  // namespace
