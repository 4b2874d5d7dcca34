#include "tone.h"

#include <sndfile.h>

#include <cmath>
#include <numbers>

namespace tolvek::live {

bool writeStereoToneWav(const std::string& path, int rate, double seconds, double amplitude, double cyclesPerSample,
                        double rightAmplitude, double rightCyclesPerSample) {
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
    out.channels = info.channels;
    out.samples.assign(size_t(info.frames) * info.channels, 0.0f);
    const bool ok = sf_readf_float(f, out.samples.data(), info.frames) == info.frames;
    sf_close(f);
    return ok;
}

// Least squares of x ≈ a·cos + b·sin through its 2×2 normal equations.
ToneFit fitTone(const WavData& wav, int channel, long first, long last, double cyclesPerSample) {
    const double w = 2 * std::numbers::pi * cyclesPerSample;
    auto x = [&](long n) { return double(wav.samples[size_t(n) * size_t(wav.channels) + size_t(channel)]); };
    double cc = 0, ss = 0, cs = 0, xc = 0, xs = 0;
    for (long n = first; n < last; ++n) {
        const double c = std::cos(w * double(n)), s = std::sin(w * double(n));
        cc += c * c, ss += s * s, cs += c * s, xc += x(n) * c, xs += x(n) * s;
    }
    const double det = cc * ss - cs * cs, a = (xc * ss - xs * cs) / det, b = (xs * cc - xc * cs) / det;
    double sq = 0.0;
    for (long n = first; n < last; ++n) {
        const double e = x(n) - a * std::cos(w * double(n)) - b * std::sin(w * double(n));
        sq += e * e;
    }
    return {std::hypot(a, b), std::sqrt(sq / double(last - first))};
}

}  // namespace tolvek::live
