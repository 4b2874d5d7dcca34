// The spectral noise reduction through the offline tool, on speech at -20 dBFS
// in white and in 300-3000 Hz noise at 0, 5 and 10 dB SNR and every rate,
// measured beside speexdsp's preprocessor on the same input: noise in the
// pauses, the speech's level and segmental SNR.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "noise_reduction_signals.h"
#include "speex_reference.h"
#include "tool_runner.h"

using namespace tolvek;
using namespace tolvek::test;

namespace {

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
        double sum = 0;
        for (size_t i = clean.size() / 3; i < clean.size() / 3 + clean.size() / 10; ++i)
            sum += double(y[i + lag]) * clean[i];
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
    double mean = 0;
    for (size_t f = 0; f < frames; ++f) {
        for (size_t i = f * frame; i < (f + 1) * frame; ++i) energy[f] += double(clean[i]) * clean[i];
        mean += energy[f] / double(frames);
    }
    Figures r;
    double count = 0, pauseIn = 0, pauseOut = 0, speechIn = 0, speechOut = 0;
    for (size_t f = 10; f < frames; ++f) {
        double error = 0, out = 0, in = 0;
        for (size_t i = f * frame; i < (f + 1) * frame; ++i) {
            error += (double(clean[i]) - y[i + lag]) * (double(clean[i]) - y[i + lag]);
            out += double(y[i + lag]) * y[i + lag];
            in += double(noisy[i]) * noisy[i];
        }
        if (energy[f] > 0.03 * mean) {
            r.segSnr += std::clamp(dBPower(energy[f] / error), -10.0, 35.0), ++count;
            speechIn += energy[f], speechOut += out;
        } else if (energy[f] < 0.001 * mean) {
            pauseIn += in, pauseOut += out;
        }
    }
    r.segSnr /= count;
    r.pauseDrop = dBPower(pauseIn / pauseOut);
    r.speechLevel = dBPower(speechOut / speechIn);
    return r;
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
                std::vector<float> noisy(clean.size());
                for (size_t i = 0; i < clean.size(); ++i)
                    noisy[i] = clean[i] + static_cast<float>(std::sqrt(0.01 / pn) * fromDb(-snr) * noise[i]);
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
