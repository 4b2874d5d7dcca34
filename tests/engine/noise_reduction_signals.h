// Test signals and measurements shared by the engine and noise-reduction
// tests and benchmarks: spoken speech, noise, hostile input, and tone and
// band powers.
#pragma once

#include <cmath>
#include <complex>
#include <cstdio>
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
    const std::string cmd =
        "espeak-ng -v en -s 175 --stdout 'Radio amateurs listen for weak signals under the noise. The mains hum is "
        "a nuisance on every band, and a good filter takes it away while the voice stays clear.' 2>/dev/null | "
        "sox -t wav - -r " +
        std::to_string(rate) + " -t raw -e floating-point -b 32 -c 1 - 2>/dev/null";
    std::vector<float> once;
    std::FILE* pipe = ::popen(cmd.c_str(), "r");
    for (float v; pipe && std::fread(&v, sizeof v, 1, pipe) == 1;) once.push_back(v);
    if (!pipe || ::pclose(pipe) != 0 || once.empty()) throw std::runtime_error("speech needs espeak-ng and sox");
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

// Hostile input for the stages' robustness checks, n samples of each:
// silence, a full-scale square wave, denormal-range values, then infinities
// and NaNs among near-maximum floats.
inline std::vector<float> hostileInput(int n, float fullScale, int squareHalfPeriod) {
    std::vector<float> x(4 * static_cast<size_t>(n), 0.0f);
    for (int i = 0; i < n; ++i) {
        x[n + i] = (i / squareHalfPeriod) % 2 ? fullScale : -fullScale;
        x[2 * n + i] = static_cast<float>(i % 3 - 1) * 1e-41f;
        x[3 * n + i] = i % 50 == 0 ? (i % 100 ? INFINITY : NAN) : (i % 2 ? 3e38f : -3e38f);
    }
    return x;
}

// The Hann window over n points, at point i.
inline double hann(size_t i, size_t n) { return 0.5 - 0.5 * std::cos(2 * M_PI * (double(i) + 0.5) / double(n)); }

// Amplitude, Hann-windowed over y[start, start + n), of the component whose
// phase at time t (seconds, sample 0 at `delay` frames) is phase(t).
inline double amplitudeOf(const std::vector<float>& y, size_t start, size_t n, int rate,
                          const std::function<double(double)>& phase, double delay = 0) {
    std::complex<double> sum = 0;
    double wsum = 0;
    for (size_t i = 0; i < n; ++i) {
        sum += hann(i, n) * y[start + i] * std::polar(1.0, phase((double(start + i) - delay) / rate));
        wsum += hann(i, n);
    }
    return 2 * std::abs(sum) / wsum;
}

inline std::function<double(double)> steadyPhase(double hz) {
    return [hz](double t) { return 2 * M_PI * hz * t; };
}

// SNR in dB of a tone that completes a whole number of cycles in
// y[start, start+n): its power against everything else.
inline double toneSnrDb(const std::vector<float>& y, size_t start, size_t n, double cyclesPerSample) {
    std::complex<double> sum = 0;
    double total = 0;
    for (size_t i = 0; i < n; ++i) {
        const double v = y[start + i];
        sum += v * std::polar(1.0, 2 * M_PI * cyclesPerSample * double(i)), total += v * v;
    }
    const double tone = 2 * std::norm(sum) / double(n);
    return dBPower(tone / (total - tone));
}

// Welch power spectrum (Hann, 8192 points, half overlap) of y[start, end):
// power per bin, bin k at k * rate / 8192 Hz.
inline std::vector<double> powerSpectrum(const std::vector<float>& y, size_t start, size_t end) {
    constexpr int n = 8192;
    std::vector<double> p(n / 2, 0.0);
    std::vector<float> d(2 * n + 1);
    for (size_t s = start; s + n <= end; s += n / 2) {
        for (int i = 0; i < n; ++i) d[2 * i + 1] = static_cast<float>(y[s + i] * hann(i, n)), d[2 * i + 2] = 0.0f;
        fftForward(d.data(), n);
        for (int k = 0; k < n / 2; ++k) p[k] += std::norm(std::complex<double>(d[2 * k + 1], d[2 * k + 2]));
    }
    return p;
}

inline double fromDb(double dB) { return std::pow(10.0, dB / 20); }  // an amplitude ratio

constexpr size_t filterDelay = 1025;  // frames from the engine's input to its output

}  // namespace tolvek::test
