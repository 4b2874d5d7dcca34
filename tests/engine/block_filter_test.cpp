// The FFT against a plain summation DFT, the overlap-save filter against a
// direct computation of the same masked frames, the mask index rules, and the
// display spectra's smoothing.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <random>
#include <vector>

#include "block_filter.h"
#include "fft.h"

using namespace tolvek;

// y[k] for one frame: window, forward DFT (+), masks, inverse DFT (-) at
// time indices 1023..3070, all in double precision.
static std::vector<double> directFrame(const std::vector<double>& frame, const float* window, const MaskSettings& m) {
    const int n = 4096;
    std::vector<std::complex<double>> X(n), w(n);
    for (int t = 0; t < n; ++t) w[t] = std::polar(1.0, 2 * M_PI * t / n);
    std::vector<float> cleared(8193, 1.0f);  // the masks, checked on their own below
    applyMasks(cleared.data(), m);
    for (int k = 0; k < n; ++k) {
        for (int p = 0; p < n; ++p) X[k] += frame[p] * double(window[p + 1]) * w[(long(k) * p) % n];
        X[k] = {cleared[2 * k + 1] == 0 ? 0 : X[k].real(), cleared[2 * k + 2] == 0 ? 0 : X[k].imag()};
    }
    std::vector<double> y(2048);
    for (int k = 0; k < 2048; ++k)
        for (int j = 0; j < n; ++j) y[k] += (X[j] * std::conj(w[(long(j) * (1023 + k)) % n])).real();
    return y;
}

// With the same sign and scaling.
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

// The window is flat in the middle with Hann flanks; the masks: none (y is
// then 4096 x the middle half of the frame), notches with a reject band,
// notches with a pass band.
TEST(BlockFilter, OverlapSaveMatchesDirectMaskedFrames) {
    BlockFilter f0;
    for (int m = 0; m <= 4096; ++m) {
        const double w = m >= 1024 && m < 3072 ? 1.0 : (1 - std::cos(2 * M_PI * m / 2048)) / 2;
        ASSERT_NEAR(f0.blockWindow[m], w, w == 1.0 ? 0.0 : 1e-6) << m;
    }
    std::mt19937 rng(99);
    std::uniform_real_distribution<double> u(-1, 1);
    // notchOn, notchFreq, rejectOn, passOn, lowerCutoff, upperCutoff
    const MaskSettings masks[] = {{},
                                  {{true, false, false, true}, {13000, 0, 0, 60000}, true, false, 16500, 32500},
                                  {{false, true, true, false}, {0, 15000, 40000, 0}, false, true, 5000, 90000}};
    for (const MaskSettings& m : masks) {
        BlockFilter f;
        std::vector<double> frame(4096, 0.0);
        for (int block = 0; block < 2; ++block) {
            std::vector<float> in(2048), y(2048);
            for (auto& v : in) v = float(u(rng) * 100);
            f.process(in.data(), y.data(), m);
            std::copy(frame.begin() + 2048, frame.end(), frame.begin());
            std::copy(in.begin(), in.end(), frame.begin() + 2048);
            const auto ref = directFrame(frame, f.blockWindow, m);
            double maxErr = 0, scale = 0;
            for (int k = 0; k < 2048; ++k)
                maxErr = std::max(maxErr, std::abs(y[k] - ref[k])), scale = std::max(scale, std::abs(ref[k]));
            EXPECT_LT(maxErr, 1e-4 * scale) << "block " << block;
        }
    }
}

// Which of the floats 1..8192 each setting clears, worked out by hand.
TEST(BlockFilter, MaskIndexRules) {
    const struct {
        const char* name;
        MaskSettings m;
        std::vector<std::pair<int, int>> cleared;
    } cases[] = {
        {"reject 4300..4300: lo = hi = 100", {{}, {}, true, false, 4300, 4300}, {{100, 100}, {8092, 8092}}},
        {"notch 1 at 0: the part below float 1 is skipped", {{true}}, {{1, 6}, {8186, 8192}}},
        {"notch 1 at its start position 13000: q = 302", {{true}, {13000}}, {{296, 308}, {7884, 7896}}},
        {"notch 4 at 22000: q = 511, h = 50", {{0, 0, 0, 1}, {0, 0, 0, 22000}}, {{461, 561}, {7631, 7731}}},
        {"pass with lo 0: only float 8192 at the top", {{}, {}, false, true, 20, 30000}, {{697, 7495}, {8192, 8192}}},
        {"pass with negative lo: nothing at the top", {{}, {}, false, true, -500, 30000}, {{697, 7495}}},
        {"both bands at the start edges clear everything; wild notches nothing",
         {{0, 0, 1, 1}, {0, 0, 1e30f, NAN}, true, true, 16500, 32500},
         {{1, 8192}}},
    };
    for (const auto& c : cases) {
        std::vector<float> spectrum(8193, 1.0f), want(8193, 1.0f);
        applyMasks(spectrum.data(), c.m);
        for (auto [from, to] : c.cleared) std::fill(want.begin() + from, want.begin() + to + 1, 0.0f);
        for (int i = 0; i <= 8192; ++i) ASSERT_EQ(spectrum[i], want[i]) << c.name << ", float " << i;
    }
}

// Bin 7 of magnitude 500: Fast shows it at once; Slow goes a third of the way
// each block, both spectra; a non-finite magnitude stores 0 and leaves the next block unharmed.
TEST(BlockFilter, SpectraSmoothing) {
    BlockFilter f;
    SharedValues fast, slow;
    for (int m = 1; m <= 2048; ++m) f.maskedBins[m] = f.unmaskedBins[m] = 0.0f;
    f.maskedBins[2 * 7 + 1] = 300.0f, f.maskedBins[2 * 7 + 2] = 400.0f, f.unmaskedBins[2 * 7 + 1] = 500.0f;
    f.updateSpectra(fast, true);
    EXPECT_NEAR(get(fast.filteredSpectrum[8]), 500.0, 500 * 1.1e-5);
    EXPECT_EQ(get(fast.filteredSpectrum[0]), 0.0f);
    for (int n = 1; n <= 30; ++n) {
        f.updateSpectra(slow, false);
        if (n <= 2) EXPECT_NEAR(get(slow.filteredSpectrum[8]), n == 1 ? 166.665 : 277.7756, 1e-3) << n;
        ASSERT_EQ(get(slow.inputSpectrum[8]), get(slow.filteredSpectrum[8])) << n;
    }
    EXPECT_NEAR(get(slow.filteredSpectrum[8]), 500.0, 0.01);  // (2/3)^30 of the way left
    f.maskedBins[2 * 7 + 1] = INFINITY;
    f.updateSpectra(slow, false);
    EXPECT_EQ(get(slow.filteredSpectrum[8]), 0.0f);
    f.maskedBins[2 * 7 + 1] = 300.0f;
    f.updateSpectra(slow, true);
    EXPECT_NEAR(get(slow.filteredSpectrum[8]), 500.0, 0.01);
}
