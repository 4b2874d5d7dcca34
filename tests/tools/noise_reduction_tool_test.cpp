// The noise-reduction stages through the offline tool, and so through the
// whole engine: the comb, the LMS and the blanker at the start settings (input
// level 90, AGC slow) and across the input-level range; the automatic notch on
// carriers, a glide and speech alone; the spectral noise reduction beside
// speexdsp's preprocessor. Speech is spoken speech as well as tones.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <numeric>
#include <string>
#include <tuple>
#include <vector>

#include "noise_reduction_signals.h"
#include "speex_reference.h"
#include "tool_runner.h"

using namespace tolvek::test;
using Samples = std::vector<float>;

namespace {

// The sanitizer build's tool runs many times slower: fewer rows there.
#if defined(__SANITIZE_ADDRESS__)
const std::vector<int> rates = {22050};
constexpr int levelStep = 30;
#else
const std::vector<int> rates = {22050, 44100};
constexpr int levelStep = 10;
#endif

constexpr size_t block = tolvek::blockLength;

Samples mix(const Samples& a, double gainA, const Samples& b = {}, double gainB = 0) {
    Samples x(a.size());
    for (size_t i = 0; i < x.size(); ++i) x[i] = float(gainA * a[i] + (b.empty() ? 0 : gainB * b[i]));
    return x;
}

// The tool's output for x, aligned with the input and cut to its length.
// The measures compare runs at one input level, so the chain's gain cancels.
Samples runTool(const Samples& x, int rate, const std::string& options) {
    const Samples y = ToolFolder().filter(x, rate, options);
    return {y.begin() + filterDelay, y.begin() + long(filterDelay + x.size())};
}

double power(const Samples& x, size_t from, size_t to) {
    return std::inner_product(x.begin() + long(from), x.begin() + long(to), x.begin() + long(from), 0.0);
}

// Hum (49.97 Hz, its 2nd and 3rd harmonics 6 and 10 dB down) alone over
// -90 dBFS noise and under speech at -20 dBFS, AGC off so the runs compare
// linearly. The hum left is what the comb's output on background + hum holds
// beyond its output on the background alone (that the comb works alike at
// every scale, its own test shows). On the noise alone the comb adds
// nothing: white noise through it gains at most 10 log(1 + 4 / 16) = 1 dB.
TEST(StagesThroughTool, CombRemovesHumAndBlankerClicksAtEveryInputLevel) {
    constexpr double mainsHz = 49.97, harmonicDb[3] = {0, -6, -10};
    for (int rate : rates) {
        const size_t n = size_t(12 * rate), from = size_t(2 * rate);
        Samples hum(n);
        for (size_t i = 0; i < n; ++i)
            for (int h = 0; h < 3; ++h)
                hum[i] += float(fromDb(harmonicDb[h]) * std::sin(2 * M_PI * mainsHz * (h + 1) * double(i) / rate + h));
        const Samples voice = speech(rate, 12), noise = whiteNoise(n, fromDb(-90), 3), talk = mix(voice, fromDb(-20));
        const Samples cleanTalk = mix(voice, fromDb(-30));
        Samples clicked = cleanTalk;
        for (size_t i = 500; i < n; i += 997) clicked[i] += (i / 997) % 2 ? 1.0f : -1.0f;
        for (int level : {0, 60, 90}) {
            SCOPED_TRACE(std::to_string(rate) + " Hz, input level " + std::to_string(level));
            const std::string options = "--agc off --output-level 100 --input-level " + std::to_string(level);
            auto run = [&](const Samples& x, const std::string& o) { return runTool(x, rate, options + o); };
            for (const Samples* background : {&noise, &talk}) {
                const Samples clean = run(*background, " --comb 50");
                if (background == &noise)
                    EXPECT_LT(dBPower(power(clean, from, n) / power(run(noise, ""), from, n)), 1.0);
                for (double humDb : {-30.0, -45.0, -60.0}) {
                    const Samples x = mix(*background, 1, hum, fromDb(humDb)), off = run(x, "");
                    Samples left = run(x, " --comb 50");
                    for (size_t i = 0; i < n; ++i) left[i] -= clean[i];
                    for (int h = 0; h < 3; ++h) {
                        const auto phase = steadyPhase(mainsHz * (h + 1));
                        const double removed = dBAmplitude(amplitudeOf(off, from, n - from, rate, phase) /
                                                           amplitudeOf(left, from, n - from, rate, phase));
                        EXPECT_GE(removed, h == 0 ? 28.0 : 14.0)
                            << humDb << " dB hum over " << (background == &noise ? "noise" : "speech") << ", " << h;
                    }
                }
            }
            // Single-sample clicks 30 dB above speech, every 997 samples: their energy drops.
            const Samples clean = run(cleanTalk, ""), raw = run(clicked, ""), blanked = run(clicked, " --blanker 55");
            double before = 0, after = 0;
            for (size_t i = 500; i < n; i += 997)
                before += std::pow(raw[i] - clean[i], 2), after += std::pow(blanked[i] - clean[i], 2);
            EXPECT_GE(dBPower(before / after), 25.0);
        }
    }
}

// SNR of y against the clean signal, block by block so the AGC's changing
// gain does not count as noise: in each block the best-scaled copy of the
// clean signal is the signal and the rest is noise.
double blockSnrDb(const Samples& y, const Samples& clean) {
    double signal = 0, noise = 0;
    for (size_t s = block; s + block <= clean.size(); s += block) {
        double ys = 0, ss = 0, yy = 0;
        for (size_t i = s; i < s + block; ++i)
            ys += double(y[i]) * clean[i], ss += double(clean[i]) * clean[i], yy += double(y[i]) * y[i];
        if (ss > 0) signal += ys * ys / ss, noise += yy - ys * ys / ss;
    }
    return dBPower(signal / noise);
}

// A tone in white noise at 0 dB SNR and speech in white noise at 5 dB SNR,
// both at -11 dBFS, at the start settings (AGC slow) and at every tenth input
// level: the LMS lifts the tone and never loses on speech (its guard
// against divergence, its own test checks).
TEST(StagesThroughTool, LmsGainsAtEveryInputLevel) {
    constexpr int rate = 22050;
    constexpr size_t window = 16384, n = 24 * block + window, from = n - window;
    constexpr double cycles = 1500.0 / window;  // a whole number of cycles per window
    const double total = fromDb(-11), speechGain = total / std::sqrt(1 + fromDb(-5) * fromDb(-5));
    Samples tone(n);
    for (size_t i = 0; i < n; ++i) tone[i] = float(std::sin(2 * M_PI * cycles * double(i)));
    const Samples voice = speech(rate, 12), noise = whiteNoise(n, 1.0, 17), talk(voice.begin(), voice.begin() + n);
    const Samples toneIn = mix(tone, total, noise, total / std::sqrt(2.0));
    const Samples talkIn = mix(talk, speechGain, noise, speechGain * fromDb(-5));
    for (int taps : {16, 200, 3000}) {
        for (int level = 0; level <= 90; level += levelStep) {
            SCOPED_TRACE(std::to_string(taps) + " taps, input level " + std::to_string(level));
            const std::string lms =
                "--output-level 100 --input-level " + std::to_string(level) + " --lms " + std::to_string(taps);
            const Samples toneOut = runTool(toneIn, rate, lms), talkOut = runTool(talkIn, rate, lms);
            // A 16-tap filter can lift a tone at most by 10 log(16 / 2) = 9 dB.
            EXPECT_GE(toneSnrDb(toneOut, from, window, cycles) - toneSnrDb(toneIn, from, window, cycles),
                      taps == 16 ? 5.0 : 10.0);
            // At the start level the plain step is far inside the bound, and
            // so small that the leak holds the weights back and colours the
            // speech (measured -2.8 dB at 200 taps, -6.6 dB at 3000); the
            // bounded step at 3000 taps follows speech a little slowly.
            const double floor = level == 90 ? -7.0 : taps == 3000 ? -2.0 : -1.0;
            EXPECT_GE(blockSnrDb(talkOut, talk) - blockSnrDb(talkIn, talk), floor);
        }
    }
}

// Carriers 10 dB above speech at -20 dBFS. One row two minutes long: the
// carriers stay down, the glide is followed from 700 Hz to 3100 Hz, and
// speech alone stays unchanged.
TEST(AutoNotchThroughTool, RemovesCarriersAndFollowsAGlideWhileSpeechStays) {
    const double carrier = 0.1 * std::sqrt(10.0) * std::sqrt(2.0);
    const auto glidePhase = [](double t) { return 2 * M_PI * (700 * t + 10 * t * t); };  // 20 Hz/s up from 700 Hz
    for (const auto& [rate, inputLevel, seconds] :
         {std::tuple{5512, 0, 10}, {11025, 30, 120}, {22050, 60, 10}, {44100, 20, 10}}) {
        SCOPED_TRACE(rate);
        const Samples plain = mix(speech(rate, seconds), 0.1);
        const auto withCarrier = [&](Samples x, const std::function<double(double)>& phase) {
            for (size_t i = 0; i < x.size(); ++i) x[i] += float(carrier * std::cos(phase(double(i) / rate)));
            return x;
        };
        const Samples steady = withCarrier(withCarrier(plain, steadyPhase(900)), steadyPhase(1700)),
                      glide = withCarrier(plain, glidePhase);
        const std::string opts = "--agc off --output-level 0 --input-level " + std::to_string(inputLevel);
        const auto run = [&](const Samples& x, const std::string& o) { return runTool(x, rate, o); };
        const Samples speechOff = run(plain, opts), steadyOff = run(steady, opts),
                      steadyOn = run(steady, opts + " --auto-notch"), glideOff = run(glide, opts),
                      glideOn = run(glide, opts + " --auto-notch");
        // Worst drop of the component from `off` to `on`, over windows of
        // `seconds` from one second on. Long windows see less of the speech
        // around a steady carrier; a glide needs short ones.
        const auto worstDropDb = [&](const Samples& off, const Samples& on, const std::function<double(double)>& phase,
                                     double window) {
            double worst = 1e9;
            const size_t n = size_t(window * rate);
            for (size_t s = size_t(rate); s + n <= plain.size(); s += n)
                worst = std::min(worst,
                                 dBAmplitude(amplitudeOf(off, s, n, rate, phase) / amplitudeOf(on, s, n, rate, phase)));
            return worst;
        };
        // Level changes of `on` against `off` in a band, from one second on.
        const auto gain = [&](const Samples& on, const Samples& off, double lo, double hi) {
            const std::vector<double> a = powerSpectrum(on, size_t(rate), on.size()),
                                      b = powerSpectrum(off, size_t(rate), off.size());
            double sumA = 0, sumB = 0;
            for (size_t k = 0; k < a.size(); ++k)
                if (double(k) * rate / 8192 >= lo && double(k) * rate / 8192 <= hi) sumA += a[k], sumB += b[k];
            return dBPower(sumA / sumB);
        };
        EXPECT_GE(worstDropDb(steadyOff, steadyOn, steadyPhase(900), 2), 50.0);
        EXPECT_GE(worstDropDb(steadyOff, steadyOn, steadyPhase(1700), 2), 50.0);
        EXPECT_GE(worstDropDb(glideOff, glideOn, glidePhase, 0.5), 30.0);
        EXPECT_LT(std::fabs(gain(steadyOn, speechOff, 0, rate)), 1.0);
        EXPECT_LT(std::fabs(gain(steadyOn, speechOff, 950, 1650)), 2.0);  // between the carriers
        // Speech alone at the start settings (input level 90, slow AGC).
        EXPECT_LT(std::fabs(gain(run(plain, "--auto-notch"), run(plain, ""), 0, rate)), 1.0);
    }
}

// y against the clean speech, frame by frame (20 ms), after the delay that
// best aligns them: segmental SNR over the frames with speech (clipped to
// -10..35 dB), the noise drop in the pauses (from `noisy`), and the speech
// frames' level change.
std::tuple<double, double, double> measure(const Samples& y, const Samples& clean, const Samples& noisy, int rate) {
    const size_t frame = size_t(rate) / 50, frames = clean.size() / frame, from = clean.size() / 3;
    size_t lag = 0;
    double best = -1e300;
    for (size_t l = 0; l <= 4096; ++l) {
        const double sum = std::inner_product(&clean[from], &clean[from + clean.size() / 10], &y[from + l], 0.0);
        if (sum > best) best = sum, lag = l;
    }
    const double mean = power(clean, 0, frames * frame) / double(frames);
    double snrSum = 0, count = 0, pauseIn = 0, pauseOut = 0, speechIn = 0, speechOut = 0;
    for (size_t a = 10 * frame; a + frame <= frames * frame; a += frame) {
        const double energy = power(clean, a, a + frame), out = power(y, a + lag, a + frame + lag);
        double error = 0;
        for (size_t i = a; i < a + frame; ++i) error += std::pow(double(clean[i]) - y[i + lag], 2);
        if (energy > 0.03 * mean)
            snrSum += std::clamp(dBPower(energy / error), -10.0, 35.0), ++count, speechIn += energy, speechOut += out;
        else if (energy < 0.001 * mean)
            pauseIn += power(noisy, a, a + frame), pauseOut += out;
    }
    return {snrSum / count, dBPower(pauseIn / pauseOut), dBPower(speechOut / speechIn)};
}

// Speech at -20 dBFS in white noise and in noise of a receiver's audio band
// (300 Hz to 3 kHz), at 0, 5 and 10 dB SNR.
TEST(SpectralNoiseReductionThroughTool, BeatsSpeexOnSpeechInNoiseAtEveryRate) {
    const std::string unity = "--input-level 0 --output-level 0 --agc off";
    for (const int rate : {5512, 11025, 22050, 44100}) {
        const Samples clean = mix(speech(rate, 12), 0.1);
        const Samples cleanOut = ToolFolder().filter(clean, rate, unity);  // delayed as the tool delays
        const Samples white = whiteNoise(clean.size(), 1.0, 7);
        const std::string band = " --band pass --lower 300 --upper " + std::to_string(std::min(3000, rate * 9 / 20));
        for (const Samples& noise : {white, runTool(white, rate, unity + band)})
            for (const double snr : {0.0, 5.0, 10.0}) {
                SCOPED_TRACE(std::to_string(rate) + " Hz, " + std::to_string(snr) + " dB SNR");
                // The speech's power is 0.01.
                const Samples noisy =
                    mix(clean, 1, noise,
                        std::sqrt(0.01 * double(noise.size()) / power(noise, 0, noise.size())) * fromDb(-snr));
                const Samples noisyOut = ToolFolder().filter(noisy, rate, unity),
                              ours = ToolFolder().filter(noisy, rate, unity + " --spectral-nr");
                Samples speex = speexDenoise(noisy, rate, 32768.0f);
                speex.resize(noisy.size() + 8192, 0.0f);
                const auto [segSnr, pauseDrop, speechLevel] = measure(ours, cleanOut, noisyOut, rate);
                EXPECT_GT(segSnr, std::get<0>(measure(speex, clean, noisy, rate)));
                EXPECT_GE(pauseDrop, 15.0);
                // Below 10 dB SNR the estimator gives up the speech's weakest
                // parts with the noise: up to 2.3 dB of level at 0 dB SNR.
                EXPECT_LT(std::fabs(speechLevel), snr >= 10 ? 1.0 : 2.5);
            }
    }
}

}  // namespace
