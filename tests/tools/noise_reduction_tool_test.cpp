// The noise-reduction stages through the offline tool, and so through the
// whole engine: the comb, the LMS and the blanker at the start settings (input
// level 90, AGC slow) and across the input-level range; the automatic notch on
// carriers, a glide and speech alone; the spectral noise reduction beside
// speexdsp's preprocessor. Speech is spoken speech as well as tones.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <numeric>
#include <string>
#include <tuple>
#include <vector>

#include "noise_reduction_signals.h"
#include "speex_reference.h"
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
    return std::inner_product(x.begin() + long(from), x.begin() + long(to), x.begin() + long(from), 0.0);
}

// Hum (49.97 Hz, its 2nd and 3rd harmonics 6 and 10 dB down) alone over
// -90 dBFS noise and under speech at -20 dBFS, AGC off so the runs compare
// linearly. The hum left is what the comb's output on background + hum holds
// beyond its output on the background alone. Every input level must remove
// as much as level 0, where the arithmetic has a million steps per full
// scale. On the noise alone the comb adds nothing: white noise through it
// gains at most 10 log(1 + 4 / 16) = 1 dB.
TEST(StagesThroughTool, CombRemovesHumAndBlankerClicksAtEveryInputLevel) {
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
        const size_t second = static_cast<size_t>(rate);
        const std::vector<float> cleanTalk = mix(voice(rate), fromDb(-30), voice(rate), 0);
        std::vector<float> clicked = cleanTalk;
        for (size_t i = 500; i < n; i += 997) clicked[i] += (i / 997) % 2 ? 1.0f : -1.0f;
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
            // Single-sample clicks 30 dB above speech, every 997 samples, with the
            // blanker on from the first sample of the file (AGC off): the clicks' energy
            // drops, and outside them the first second of speech is changed no more than
            // the speech from 8 s on, once the long-term mean has settled.
            const std::vector<float> clean = runTool(cleanTalk, rate, level, "--agc off"),
                                     raw = runTool(clicked, rate, level, "--agc off"),
                                     blanked = runTool(clicked, rate, level, "--agc off --blanker 55");
            double clicksBefore = 0, clicksAfter = 0, speech[2] = {0, 0}, changed[2] = {0, 0};
            for (size_t i = 0; i < n; ++i) {
                const double before = raw[i] - clean[i], after = blanked[i] - clean[i];
                if (i % 997 == 500)
                    clicksBefore += before * before, clicksAfter += after * after;
                else if (i < second || i >= 8 * second)
                    speech[i >= second] += double(clean[i]) * clean[i], changed[i >= second] += after * after;
            }
            EXPECT_GE(dBPower(clicksBefore / clicksAfter), 25.0) << rate << " " << level;
            EXPECT_LT(dBPower(changed[0] / speech[0]), dBPower(changed[1] / speech[1]) + 1.0) << rate << " " << level;
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
        if (ss > 0) signal += ys * ys / ss, noise += yy - ys * ys / ss;
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
            const auto [low, high] = std::minmax_element(talkOut.begin() + blockLength, talkOut.end());
            // A 16-tap filter can lift a tone at most by 10 log(16 / 2) = 9 dB.
            EXPECT_GE(toneGain, taps == 16 ? 5.0 : 10.0) << taps << " " << level;
            // At the start level the plain step is far inside the bound, and
            // so small that the leak holds the weights back and colours the
            // speech (measured -2.8 dB at 200 taps, -6.6 dB at 3000); the
            // bounded step at 3000 taps follows speech a little slowly.
            const double floor = level == 90 ? -7.0 : taps == 3000 ? -2.0 : -1.0;
            EXPECT_GE(blockSnrDb(talkOut, talk, blockLength, n) - talkSnrIn, floor) << taps << " " << level;
            EXPECT_LE(std::max(-*low, *high), 2.0f) << taps << " " << level;
        }
    }
}

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
            const std::vector<double> a = powerSpectrum(on, start, end), b = powerSpectrum(off, start, end);
            double sumA = 0, sumB = 0;
            for (size_t k = 0; k < a.size(); ++k)
                if (double(k) * rate / 8192 >= lo && double(k) * rate / 8192 <= hi) sumA += a[k], sumB += b[k];
            return dBPower(sumA / sumB);
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

// White noise through two second-order high-pass sections at 300 Hz and two
// low-pass sections at 3000 Hz (Butterworth Q), as a receiver's audio band.
std::vector<float> bandNoise(size_t n, int rate, unsigned seed) {
    std::vector<float> x = whiteNoise(n, 1.0, seed);
    for (int section = 0; section < 4; ++section) {
        const bool high = section < 2;
        const double w = 2 * M_PI * std::min(high ? 300.0 : 3000.0, 0.45 * rate) / rate,
                     alpha = std::sin(w) / std::sqrt(2.0);
        const double c = std::cos(w), a0 = 1 + alpha, b0 = (high ? 1 + c : 1 - c) / 2 / a0, b1 = (high ? -2 : 2) * b0;
        double z1 = 0, z2 = 0;
        for (float& v : x) {
            const double y = b0 * v + z1;
            z1 = b1 * v + 2 * c / a0 * y + z2;
            z2 = b0 * v - (1 - alpha) / a0 * y;
            v = static_cast<float>(y);
        }
    }
    return x;
}

// The delay that best aligns y with the clean signal.
size_t bestLag(const std::vector<float>& y, const std::vector<float>& clean) {
    size_t best = 0;
    double bestSum = -1e300;
    for (size_t lag = 0; lag <= 4096; ++lag) {
        const size_t from = clean.size() / 3, to = from + clean.size() / 10;
        const double sum =
            std::inner_product(clean.begin() + long(from), clean.begin() + long(to), y.begin() + long(from + lag), 0.0);
        if (sum > bestSum) bestSum = sum, best = lag;
    }
    return best;
}

struct Figures {
    double segSnr = 0, pauseDrop = 0, speechLevel = 0;
};

// y against the clean speech, frame by frame (20 ms): segmental SNR over the
// frames with speech (clipped to -10..35 dB), the noise drop in the pauses
// (from `noisy`), and the speech frames' level.
Figures measure(const std::vector<float>& y, const std::vector<float>& clean, const std::vector<float>& noisy,
                int rate) {
    const size_t lag = bestLag(y, clean), frame = size_t(rate) / 50, frames = clean.size() / frame;
    std::vector<double> energy(frames);
    for (size_t f = 0; f < frames; ++f) energy[f] = power(clean, f * frame, (f + 1) * frame);
    const double mean = std::accumulate(energy.begin(), energy.end(), 0.0) / double(frames);
    Figures r;
    double count = 0, pauseIn = 0, pauseOut = 0, speechIn = 0, speechOut = 0;
    for (size_t f = 10; f < frames; ++f) {
        double error = 0;
        for (size_t i = f * frame; i < (f + 1) * frame; ++i) error += std::pow(double(clean[i]) - y[i + lag], 2);
        const double out = power(y, f * frame + lag, (f + 1) * frame + lag),
                     in = power(noisy, f * frame, (f + 1) * frame);
        if (energy[f] > 0.03 * mean)
            r.segSnr += std::clamp(dBPower(energy[f] / error), -10.0, 35.0), ++count, speechIn += energy[f],
                speechOut += out;
        else if (energy[f] < 0.001 * mean)
            pauseIn += in, pauseOut += out;
    }
    return {r.segSnr / count, dBPower(pauseIn / pauseOut), dBPower(speechOut / speechIn)};
}

TEST(SpectralNoiseReductionThroughTool, BeatsSpeexOnSpeechInNoiseAtEveryRate) {
    const std::string unity = "--input-level 0 --output-level 0 --agc off";
    for (const int rate : {5512, 11025, 22050, 44100}) {
        std::vector<float> clean = speech(rate, 12);
        for (float& v : clean) v *= 0.1f;  // -20 dBFS
        test::ToolFolder tool;
        const std::vector<float> cleanOut = tool.filter(clean, rate, unity);  // delayed as the tool delays
        for (const bool band : {false, true})
            for (const double snr : {0.0, 5.0, 10.0}) {
                const std::vector<float> noise =
                    band ? bandNoise(clean.size(), rate, 7) : whiteNoise(clean.size(), 1.0, 7);
                double pn = 0;  // the speech's power is 0.01
                for (float v : noise) pn += double(v) * v / double(noise.size());
                const std::vector<float> noisy = mix(clean, 1, noise, std::sqrt(0.01 / pn) * fromDb(-snr));
                const std::vector<float> noisyOut = tool.filter(noisy, rate, unity),
                                         ours = tool.filter(noisy, rate, unity + " --spectral-nr");
                std::vector<float> speex = speexDenoise(noisy, rate, 32768.0f);
                speex.resize(noisy.size() + 8192, 0.0f);
                const Figures mine = measure(ours, cleanOut, noisyOut, rate), ref = measure(speex, clean, noisy, rate);
                EXPECT_GT(mine.segSnr, ref.segSnr) << rate << " Hz " << snr << " dB";
                EXPECT_GE(mine.pauseDrop, 15.0) << rate << " Hz " << snr << " dB";
                // Below 10 dB SNR the estimator gives up the speech's weakest
                // parts with the noise: up to 2.3 dB of level at 0 dB SNR.
                EXPECT_LT(std::fabs(mine.speechLevel), snr >= 10 ? 1.0 : 2.5) << rate << " Hz " << snr << " dB";
            }
    }
}

}  // namespace
