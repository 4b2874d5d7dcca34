// The FFT against a plain summation DFT with the same sign and scaling.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <random>
#include <vector>

#include "fft.h"

TEST(Fft, MatchesNaiveDftBothSignsAtSeveralSizes) {
    std::mt19937 rng(1234);
    std::uniform_real_distribution<double> u(-1, 1);
    for (int n : {1, 2, 4, 8, 64, 512, 4096}) {
        std::vector<std::complex<double>> x(n);
        for (auto& v : x) v = {u(rng), u(rng)};
        for (int sign : {+1, -1}) {
            std::vector<float> d(2 * n + 1, 12345.0f);  // floats numbered 1..2n; float 0 a sentinel that must survive
            for (int k = 0; k < n; ++k) d[2 * k + 1] = float(x[k].real()), d[2 * k + 2] = float(x[k].imag());
            sign > 0 ? tolvek::fftForward(d.data(), n) : tolvek::fftInverse(d.data(), n);
            for (int k = 0; k < n; ++k) {
                std::complex<double> ref = 0;  // unnormalised, exponent sign `sign`, in double
                for (int m = 0; m < n; ++m) ref += x[m] * std::polar(1.0, sign * 2 * M_PI * double(k * m % n) / n);
                ASSERT_LT(std::abs(std::complex<double>(d[2 * k + 1], d[2 * k + 2]) - ref), 2e-5 * n) << n << sign << k;
            }
            EXPECT_EQ(d[0], 12345.0f);
        }
    }
}
