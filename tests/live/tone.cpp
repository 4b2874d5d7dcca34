#include "tone.h"

#include <cmath>
#include <numbers>

namespace tolvek::test {

bool writeStereoToneWav(const std::string& path, int rate, double seconds, double amplitude, double cyclesPerSample,
                        double rightAmplitude, double rightCyclesPerSample) {
    const long frames = std::lround(seconds * rate);
    std::vector<float> buf(2 * size_t(frames));
    const double twoPi = 2 * std::numbers::pi;
    for (long n = 0; n < frames; ++n) {
        buf[2 * size_t(n)] = float(amplitude * std::sin(twoPi * cyclesPerSample * double(n)));
        buf[2 * size_t(n) + 1] = float(rightAmplitude * std::sin(twoPi * rightCyclesPerSample * double(n)));
    }
    return test::writeSound(path, buf, rate, 2);
}

static double sample(const test::Sound& wav, int channel, long n) { return double(wav.at(n, channel)); }

// Least squares of x ≈ a·cos + b·sin through its 2×2 normal equations.
ToneFit fitTone(const test::Sound& wav, int channel, long first, long last, double cyclesPerSample) {
    const double w = 2 * std::numbers::pi * cyclesPerSample;
    double cc = 0, ss = 0, cs = 0, xc = 0, xs = 0;
    for (long n = first; n < last; ++n) {
        const double c = std::cos(w * double(n)), s = std::sin(w * double(n)), x = sample(wav, channel, n);
        cc += c * c, ss += s * s, cs += c * s, xc += x * c, xs += x * s;
    }
    const double det = cc * ss - cs * cs;
    ToneFit fit{(xc * ss - xs * cs) / det, (xs * cc - xc * cs) / det};
    fit.amplitude = std::hypot(fit.a, fit.b);
    fit.residualRms = residualRms(wav, channel, first, last, cyclesPerSample, fit);
    return fit;
}

double residualRms(const test::Sound& wav, int channel, long first, long last, double cyclesPerSample,
                   const ToneFit& fit) {
    const double w = 2 * std::numbers::pi * cyclesPerSample;
    double sq = 0.0;
    for (long n = first; n < last; ++n) {
        const double e = sample(wav, channel, n) - fit.a * std::cos(w * double(n)) - fit.b * std::sin(w * double(n));
        sq += e * e;
    }
    return std::sqrt(sq / double(last - first));
}

}  // namespace tolvek::test
