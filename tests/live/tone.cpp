#include "tone.h"

#include <sndfile.h>

#include <cmath>
#include <numbers>

namespace tolvek::live {

bool writeStereoToneWav(const std::string& path, int rate, double seconds, double amplitude,
                        double cyclesPerSample, double rightAmplitude, double rightCyclesPerSample) {
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!f) return false;
    const long frames = std::lround(seconds * rate);
    std::vector<float> buf(2 * frames);
    const double twoPi = 2 * std::numbers::pi;
    for (long n = 0; n < frames; ++n) {
        buf[2 * n] = float(amplitude * std::sin(twoPi * cyclesPerSample * double(n)));
        buf[2 * n + 1] = float(rightAmplitude * std::sin(twoPi * rightCyclesPerSample * double(n)));
    }
    const bool ok = sf_writef_float(f, buf.data(), frames) == frames;
    return sf_close(f) == 0 && ok;
}

bool readWav(const std::string& path, WavData& out) {
    SF_INFO info{};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    if (!f) return false;
    out.rate = info.samplerate;
    out.channels = info.channels;
    out.samples.assign(size_t(info.frames) * info.channels, 0.0f);
    const bool ok = sf_readf_float(f, out.samples.data(), info.frames) == info.frames;
    sf_close(f);
    return ok;
}

// Normal equations of the three-term fit, solved by Cramer's rule.
ToneFit fitTone(const WavData& wav, int channel, long first, long last, double cyclesPerSample) {
    const double w = 2 * std::numbers::pi * cyclesPerSample;
    double m[3][3] = {}, r[3] = {};
    for (long n = first; n < last; ++n) {
        const double basis[3] = {std::cos(w * double(n)), std::sin(w * double(n)), 1.0};
        const double x = wav.samples[size_t(n) * wav.channels + channel];
        for (int i = 0; i < 3; ++i) {
            r[i] += basis[i] * x;
            for (int j = 0; j < 3; ++j) m[i][j] += basis[i] * basis[j];
        }
    }
    auto det = [](const double a[3][3]) {
        return a[0][0] * (a[1][1] * a[2][2] - a[1][2] * a[2][1]) - a[0][1] * (a[1][0] * a[2][2] - a[1][2] * a[2][0]) +
               a[0][2] * (a[1][0] * a[2][1] - a[1][1] * a[2][0]);
    };
    const double d = det(m);
    double coef[3];
    for (int k = 0; k < 3; ++k) {
        double mk[3][3];
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j) mk[i][j] = j == k ? r[i] : m[i][j];
        coef[k] = det(mk) / d;
    }
    double sq = 0.0;
    for (long n = first; n < last; ++n) {
        const double model = coef[0] * std::cos(w * double(n)) + coef[1] * std::sin(w * double(n)) + coef[2];
        const double e = double(wav.samples[size_t(n) * wav.channels + channel]) - model;
        sq += e * e;
    }
    return {std::hypot(coef[0], coef[1]), std::sqrt(sq / double(last - first))};
}

}  // namespace tolvek::live
