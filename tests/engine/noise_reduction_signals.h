// Test signals and measurements shared by the noise-reduction signal tests
// and benchmarks: spoken speech, tones in noise, and tone and band powers.
#pragma once

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "decibels.h"
#include "engine.h"
#include "fft.h"

namespace tolvek::test {

// Speech at `rate`, `seconds` long (repeated as needed), scaled to RMS 1:
// spoken by espeak-ng and resampled by sox (both installed with the
// project's dependencies).
inline std::vector<float> speech(int rate, double seconds) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() /
                         ("tolvek-speech-" + std::to_string(rate) + "-" + std::to_string(std::random_device{}()));
    fs::create_directories(dir);
    const std::string wav = (dir / "speech.wav").string(), raw = (dir / "speech.raw").string();
    const std::string cmd =
        "espeak-ng -v en -s 175 -w '" + wav +
        "' 'Radio amateurs listen for weak signals under the noise. The mains hum is a nuisance on every band, "
        "and a good filter takes it away while the voice stays clear.' >/dev/null 2>&1 && sox '" +
        wav + "' -r " + std::to_string(rate) + " -t raw -e floating-point -b 32 -c 1 '" + raw + "' >/dev/null 2>&1";
    const bool made = std::system(cmd.c_str()) == 0;
    std::vector<float> once;
    std::ifstream in(raw, std::ios::binary);
    for (float v; made && in.read(reinterpret_cast<char*>(&v), sizeof v);) once.push_back(v);
    fs::remove_all(dir);
    if (once.empty()) throw std::runtime_error("speech needs espeak-ng and sox");
    std::vector<float> out(static_cast<size_t>(rate * seconds));
    double sum = 0;
    for (size_t i = 0; i < out.size(); ++i) out[i] = once[i % once.size()], sum += double(out[i]) * out[i];
    for (float& v : out) v = static_cast<float>(v / std::sqrt(sum / double(out.size())));
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

// Amplitude, Hann-windowed over y[start, start + n), of the component whose
// phase at time t (seconds, sample 0 at `delay` frames) is phase(t).
inline double amplitudeOf(const std::vector<float>& y, size_t start, size_t n, int rate,
                          const std::function<double(double)>& phase, double delay = 0) {
    double re = 0, im = 0, wsum = 0;
    for (size_t i = 0; i < n; ++i) {
        const double w = 0.5 - 0.5 * std::cos(2 * M_PI * (double(i) + 0.5) / double(n));
        const double ph = phase((double(start + i) - delay) / rate);
        re += w * y[start + i] * std::cos(ph);
        im += w * y[start + i] * std::sin(ph);
        wsum += w;
    }
    return 2 * std::hypot(re, im) / wsum;
}

inline std::function<double(double)> steadyPhase(double hz) {
    return [hz](double t) { return 2 * M_PI * hz * t; };
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

inline double fromDb(double dB) { return std::pow(10.0, dB / 20); }  // an amplitude ratio

constexpr size_t filterDelay = 1025;  // frames from the engine's input to its output

}  // namespace tolvek::test
