// Test signals and measurements shared by the noise-reduction signal tests
// and benchmarks: speech (spoken by espeak-ng where available), tones in
// noise, and tone and band powers.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "decibels.h"

#include "engine.h"
#include "fft.h"

namespace tolvek::test {

// A voiced, speech-like stand-in: a glottal pulse train with a wandering
// pitch through two formant resonators, in syllables.
inline std::vector<float> syntheticSpeech(int rate, double seconds) {
    std::vector<float> out(static_cast<size_t>(rate * seconds));
    const auto resonator = [rate](double f, double bw) {  // two-pole, at f Hz with bandwidth bw Hz
        const double r = std::exp(-M_PI * bw / rate);
        return std::pair{2 * r * std::cos(2 * M_PI * f / rate), -r * r};
    };
    const auto [a1, a2] = resonator(std::min(600.0, rate * 0.2), 90);
    const auto [b1, b2] = resonator(std::min(1700.0, rate * 0.4), 150);
    double phase = 0, y1 = 0, y2 = 0, z1 = 0, z2 = 0;
    for (size_t i = 0; i < out.size(); ++i) {
        const double t = static_cast<double>(i) / rate;
        phase += (130 + 30 * std::sin(2 * M_PI * 0.7 * t)) / rate;
        const double pulse = phase >= 1 ? 1 : 0;
        if (phase >= 1) phase -= 1;
        const double y = pulse + a1 * y1 + a2 * y2;
        y2 = y1, y1 = y;
        const double z = y + b1 * z1 + b2 * z2;
        z2 = z1, z1 = z;
        out[i] = static_cast<float>(z * std::max(0.0, std::sin(2 * M_PI * 2.3 * t)));  // in syllables
    }
    return out;
}

// Speech at `rate`, `seconds` long (repeated as needed), scaled to RMS 1.
// Spoken by espeak-ng and resampled by sox when both are installed, else
// the synthetic stand-in; `spoken` tells which.
inline std::vector<float> speech(int rate, double seconds, bool* spoken = nullptr) {
    namespace fs = std::filesystem;
    std::vector<float> out;
    const fs::path dir = fs::temp_directory_path() /
                         ("tolvek-speech-" + std::to_string(rate) + "-" + std::to_string(std::random_device{}()));
    fs::create_directories(dir);
    const std::string wav = (dir / "speech.wav").string(), raw = (dir / "speech.raw").string();
    const std::string cmd =
        "espeak-ng -v en -s 175 -w '" + wav +
        "' 'Radio amateurs listen for weak signals under the noise. The mains hum is a nuisance on every band, "
        "and a good filter takes it away while the voice stays clear.' >/dev/null 2>&1 && sox '" +
        wav + "' -r " + std::to_string(rate) + " -t raw -e floating-point -b 32 -c 1 '" + raw + "' >/dev/null 2>&1";
    if (std::system(cmd.c_str()) == 0) {
        std::ifstream in(raw, std::ios::binary);
        float v;
        std::vector<float> once;
        while (in.read(reinterpret_cast<char*>(&v), sizeof v)) once.push_back(v);
        const size_t n = static_cast<size_t>(rate * seconds);
        if (!once.empty())
            for (size_t i = 0; i < n; ++i) out.push_back(once[i % once.size()]);
    }
    fs::remove_all(dir);
    if (spoken) *spoken = !out.empty();
    if (out.empty()) out = syntheticSpeech(rate, seconds);
    double sum = 0;
    for (float v : out) sum += double(v) * v;
    const double scale = 1 / std::sqrt(sum / double(out.size()));
    for (float& v : out) v = static_cast<float>(v * scale);
    return out;
}

// Gaussian white noise of the given RMS.
inline std::vector<float> whiteNoise(size_t n, double rms, unsigned seed) {
    std::mt19937 rng(seed);
    std::normal_distribution<double> g(0.0, rms);
    std::vector<float> x(n);
    for (float& v : x) v = static_cast<float>(g(rng));
    return x;
}

// Amplitude of the component at `hz`, Hann-windowed, over y[start, start+n).
inline double toneAmplitude(const std::vector<float>& y, size_t start, size_t n, double hz, int rate) {
    double re = 0, im = 0, wsum = 0;
    for (size_t i = 0; i < n; ++i) {
        const double w = 0.5 - 0.5 * std::cos(2 * M_PI * (i + 0.5) / n);
        const double ph = 2 * M_PI * hz * (start + i) / rate;
        re += w * y[start + i] * std::cos(ph);
        im += w * y[start + i] * std::sin(ph);
        wsum += w;
    }
    return 2 * std::hypot(re, im) / wsum;
}

// SNR in dB of a tone that completes a whole number of cycles in
// y[start, start+n): its power against everything else.
inline double toneSnrDb(const std::vector<float>& y, size_t start, size_t n, double cyclesPerSample) {
    double re = 0, im = 0, total = 0;
    for (size_t i = 0; i < n; ++i) {
        const double v = y[start + i], ph = 2 * M_PI * cyclesPerSample * double(i);
        re += v * std::cos(ph);
        im += v * std::sin(ph);
        total += v * v;
    }
    const double tone = 2 * (re * re + im * im) / double(n);
    return dBPower(tone / (total - tone));
}

// Welch power spectrum (Hann, 8192 points, half overlap) of y[start, end):
// power per bin, bin k at k * rate / 8192 Hz.
inline std::vector<double> powerSpectrum(const std::vector<float>& y, size_t start, size_t end) {
    constexpr int n = 8192;
    std::vector<double> p(n / 2, 0.0);
    std::vector<float> d(2 * n + 1);
    for (size_t s = start; s + n <= end; s += n / 2) {
        for (int i = 0; i < n; ++i) {
            d[2 * i + 1] = static_cast<float>(y[s + i] * (0.5 - 0.5 * std::cos(2 * M_PI * (i + 0.5) / n)));
            d[2 * i + 2] = 0.0f;
        }
        fftForward(d.data(), n);
        for (int k = 0; k < n / 2; ++k)
            p[k] += double(d[2 * k + 1]) * d[2 * k + 1] + double(d[2 * k + 2]) * d[2 * k + 2];
    }
    return p;
}

}  // namespace tolvek::test
