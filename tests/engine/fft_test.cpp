// The FFT against a plain summation DFT with the same sign and scaling.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <random>
#include <vector>

#include "fft.h"

using tolvek::fftForward;
using tolvek::fftInverse;

namespace {

// Naive DFT with exponent sign `sign`, unnormalised, in double precision.
std::vector<std::complex<double>> dft(const std::vector<std::complex<double>>& x, int sign) {
    const size_t n = x.size();
    std::vector<std::complex<double>> out(n);
    for (size_t k = 0; k < n; ++k) {
        std::complex<double> sum = 0;
        for (size_t m = 0; m < n; ++m)
            sum += x[m] * std::polar(1.0, sign * 2 * M_PI * double(k * m % n) / double(n));
        out[k] = sum;
    }
    return out;
}

// Floats numbered 1..2n with the unused float 0 in front.
std::vector<float> packed(const std::vector<std::complex<double>>& x) {
    std::vector<float> d(2 * x.size() + 1, 0.0f);
    for (size_t k = 0; k < x.size(); ++k) {
        d[2 * k + 1] = float(x[k].real());
        d[2 * k + 2] = float(x[k].imag());
    }
    return d;
}

}  // namespace

TEST(Fft, MatchesNaiveDftBothSignsAtSeveralSizes) {
    std::mt19937 rng(1234);
    std::uniform_real_distribution<double> u(-1, 1);
    for (int n : {1, 2, 4, 8, 64, 512, 4096}) {
        std::vector<std::complex<double>> x(n);
        for (auto& v : x) v = {u(rng), u(rng)};
        for (int sign : {+1, -1}) {
            std::vector<float> d = packed(x);
            d[0] = 12345.0f;  // sentinel: float 0 is never touched
            if (sign > 0)
                fftForward(d.data(), n);
            else
                fftInverse(d.data(), n);
            const auto ref = dft(x, sign);
            double maxErr = 0;
            for (int k = 0; k < n; ++k) {
                maxErr = std::max(maxErr, std::abs(std::complex<double>(d[2 * k + 1], d[2 * k + 2]) - ref[k]));
            }
            EXPECT_LT(maxErr, 2e-5 * n) << "n=" << n << " sign=" << sign;
            EXPECT_EQ(d[0], 12345.0f);
        }
    }
}

TEST(Fft, ImpulseCosineAndRoundTrip) {
    const int n = 4096;
    std::vector<float> d(2 * n + 1, 0.0f);
    d[1] = 1.0f;
    fftForward(d.data(), n);
    for (int k = 0; k < n; ++k) {
        ASSERT_NEAR(d[2 * k + 1], 1.0f, 1e-5);
        ASSERT_NEAR(d[2 * k + 2], 0.0f, 1e-5);
    }

    std::fill(d.begin(), d.end(), 0.0f);
    for (int m = 0; m < n; ++m) d[2 * m + 1] = float(std::cos(2 * M_PI * 5 * m / n));
    fftForward(d.data(), n);
    for (int k = 0; k < n; ++k) {
        const double mag = std::hypot(d[2 * k + 1], d[2 * k + 2]);
        if (k == 5 || k == n - 5)
            EXPECT_NEAR(mag, 2048.0, 0.05);
        else
            EXPECT_LT(mag, 0.05) << k;
    }

    std::mt19937 rng(7);
    std::uniform_real_distribution<float> u(-1, 1);
    std::vector<float> orig(2 * n + 1, 0.0f);
    for (int i = 1; i <= 2 * n; ++i) orig[i] = u(rng);
    d = orig;
    fftForward(d.data(), n);
    fftInverse(d.data(), n);
    for (int i = 1; i <= 2 * n; ++i) ASSERT_NEAR(d[i], 4096.0f * orig[i], 4096.0f * 2e-5f);
}
