#include "tone.h"

#include <cmath>
#include <numbers>
#include <vector>

namespace tolvek::test {

constexpr double twoPi = 2 * std::numbers::pi;

bool writeStereoToneWav(const std::string& path, int rate, double seconds, double amplitude, double cyclesPerSample,
                        double rightAmplitude, double rightCyclesPerSample) {
    std::vector<float> buf(2 * size_t(std::lround(seconds * rate)));
    for (size_t n = 0; n < buf.size() / 2; ++n) {
        buf[2 * n] = float(amplitude * std::sin(twoPi * cyclesPerSample * double(n)));
        buf[2 * n + 1] = float(rightAmplitude * std::sin(twoPi * rightCyclesPerSample * double(n)));
    }
    return writeSound(path, buf, rate, 2);
}

// Least squares of x ≈ a·cos + b·sin through its 2×2 normal equations.
ToneFit fitTone(const Sound& wav, long first, long last, double cyclesPerSample) {
    const double w = twoPi * cyclesPerSample;
    double cc = 0, ss = 0, cs = 0, xc = 0, xs = 0;
    for (long n = first; n < last; ++n) {
        const double c = std::cos(w * double(n)), s = std::sin(w * double(n)), x = wav.at(n, 0);
        cc += c * c, ss += s * s, cs += c * s, xc += x * c, xs += x * s;
    }
    const double det = cc * ss - cs * cs, a = (xc * ss - xs * cs) / det, b = (xs * cc - xc * cs) / det;
    return {a, b, std::hypot(a, b)};
}

double residualRms(const Sound& wav, long first, long last, double cyclesPerSample, const ToneFit& fit) {
    const double w = twoPi * cyclesPerSample;
    double sq = 0.0;
    for (long n = first; n < last; ++n) {
        const double e = wav.at(n, 0) - fit.a * std::cos(w * double(n)) - fit.b * std::sin(w * double(n));
        sq += e * e;
    }
    return std::sqrt(sq / double(last - first));
}

}  // namespace tolvek::test
