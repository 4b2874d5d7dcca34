// The overlap-save filter against a direct computation of the same masked
// frames, the mask index rules, and the display spectra's smoothing.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <random>
#include <vector>

#include "block_filter.h"

using namespace tolvek;

namespace {

using cd = std::complex<double>;

// Floats 1..8192 that the masks clear, from the index rules written out plainly.
std::vector<bool> referenceCleared(const MaskSettings& m) {
    std::vector<bool> cleared(8193, false);
    auto clear = [&](long a, long b) {
        for (long i = std::max(a, 1L); i <= std::min(b, 8192L); ++i) cleared[i] = true;
    };
    const int half[4] = {6, 10, 20, 50};
    for (int i = 0; i < 4; ++i) {
        const double centre = double(m.notchFreq[i] * 2.0f) * 512 / 44100 + 0.5;
        if (!m.notchOn[i] || !(std::abs(centre) < 1e9)) continue;  // NaN or far away: clears nothing
        const long q = long(centre);
        clear(q - half[i], q + half[i]);
        clear(8192 - q - half[i], 8192 - q + half[i]);
    }
    const long lo = long(m.lowerCutoff / 43.0f), hi = long(m.upperCutoff / 43.0f);
    if (m.rejectOn) {
        clear(lo, hi);
        clear(8192 - hi, 8192 - lo);
    }
    if (m.passOn) {
        clear(1, lo);
        clear(hi, 8192 - hi);
        clear(8192 - lo, 8192);
    }
    return cleared;
}

// y[k] for one frame: window, forward DFT (+), masks, inverse DFT (-) at
// time indices 1023..3070, all in double precision.
std::vector<double> directFrame(const std::vector<double>& frame, const float* window, const MaskSettings& m) {
    const int n = 4096;
    std::vector<cd> x(n), X(n);
    for (int p = 0; p < n; ++p) x[p] = frame[p] * double(window[p + 1]);
    std::vector<cd> w(n);
    for (int t = 0; t < n; ++t) w[t] = std::polar(1.0, 2 * M_PI * t / n);
    for (int k = 0; k < n; ++k) {
        cd sum = 0;
        for (int p = 0; p < n; ++p) sum += x[p] * w[(long(k) * p) % n];
        X[k] = sum;
    }
    const auto cleared = referenceCleared(m);
    for (int k = 0; k < n; ++k) {
        if (cleared[2 * k + 1]) X[k].real(0);
        if (cleared[2 * k + 2]) X[k].imag(0);
    }
    std::vector<double> y(2048);
    for (int k = 0; k < 2048; ++k) {
        const int t = 1023 + k;
        cd sum = 0;
        for (int j = 0; j < n; ++j) sum += X[j] * std::conj(w[(long(j) * t) % n]);
        y[k] = sum.real();
    }
    return y;
}

MaskSettings noMasks() { return MaskSettings{}; }

}  // namespace

TEST(BlockFilter, WindowIsFlatInTheMiddleWithHannFlanks) {
    BlockFilter f;
    for (int m = 1024; m <= 3071; ++m) ASSERT_EQ(f.blockWindow[m], 1.0f) << m;
    EXPECT_EQ(f.blockWindow[0], 0.0f);
    EXPECT_NEAR(f.blockWindow[512], 0.5, 1e-6);
    EXPECT_NEAR(f.blockWindow[3584], 0.5, 1e-6);
    EXPECT_NEAR(f.blockWindow[4096], 0.0, 1e-6);
}

TEST(BlockFilter, OverlapSaveMatchesDirectMaskedFrames) {
    std::mt19937 rng(99);
    std::uniform_real_distribution<double> u(-1, 1);
    MaskSettings masks[3];
    masks[1].rejectOn = true;
    masks[1].lowerCutoff = 16500;
    masks[1].upperCutoff = 32500;
    masks[1].notchOn[0] = masks[1].notchOn[3] = true;
    masks[1].notchFreq[0] = 13000;
    masks[1].notchFreq[3] = 60000;
    masks[2].passOn = true;
    masks[2].lowerCutoff = 5000;
    masks[2].upperCutoff = 90000;
    masks[2].notchOn[1] = masks[2].notchOn[2] = true;
    masks[2].notchFreq[1] = 15000;
    masks[2].notchFreq[2] = 40000;

    for (const MaskSettings& m : masks) {
        BlockFilter f;
        std::vector<double> previous(2048, 0.0);
        for (int block = 0; block < 2; ++block) {
            std::vector<float> in(2048);
            for (auto& v : in) v = float(u(rng) * 100);
            std::vector<float> y(2048);
            f.filter(in.data(), y.data(), m);

            std::vector<double> frame(previous);
            frame.insert(frame.end(), in.begin(), in.end());
            const auto ref = directFrame(frame, f.blockWindow, m);
            double maxErr = 0, scale = 0;
            for (int k = 0; k < 2048; ++k) {
                maxErr = std::max(maxErr, std::abs(y[k] - ref[k]));
                scale = std::max(scale, std::abs(ref[k]));
            }
            EXPECT_LT(maxErr, 1e-4 * scale) << "block " << block;
            previous.assign(in.begin(), in.end());
        }
    }
}

TEST(BlockFilter, TransparentWithoutMasks) {
    BlockFilter f;
    std::vector<float> a(2048), b(2048), y(2048);
    for (int k = 0; k < 2048; ++k) {
        a[k] = float(std::sin(k * 0.01) * 50);
        b[k] = float(std::cos(k * 0.003) * 70);
    }
    f.filter(a.data(), y.data(), noMasks());
    f.filter(b.data(), y.data(), noMasks());
    // y[k] = 4096 x sample 1023 + k of the frame a|b.
    for (int k = 0; k < 2048; ++k) {
        const float expected = 4096.0f * (1023 + k < 2048 ? a[1023 + k] : b[k - 1025]);
        ASSERT_NEAR(y[k], expected, 4096 * 70 * 2e-5) << k;
    }
}

TEST(BlockFilter, MaskIndexRules) {
    struct Case {
        const char* name;
        MaskSettings m;
    };
    std::vector<Case> cases;
    MaskSettings m;
    m.rejectOn = true;
    m.lowerCutoff = m.upperCutoff = 4300;  // float 100 and 8092 only
    cases.push_back({"reject single float", m});
    m = {};
    m.notchOn[0] = true;  // notch at 0: floats 1..6 and 8186..8192
    cases.push_back({"notch at zero", m});
    m = {};
    m.passOn = true;
    m.lowerCutoff = 20;  // lo = 0
    m.upperCutoff = 30000;
    cases.push_back({"pass with lo 0", m});
    m.lowerCutoff = -500;  // negative lo
    cases.push_back({"pass with negative lo", m});
    m = {};
    m.rejectOn = m.passOn = true;  // both apply, reject first
    m.lowerCutoff = 16500;
    m.upperCutoff = 32500;
    m.notchOn[2] = true;
    m.notchFreq[2] = 1e30f;  // far beyond the spectrum
    m.notchOn[3] = true;
    m.notchFreq[3] = std::nanf("");
    cases.push_back({"both bands, wild notches", m});

    for (const Case& c : cases) {
        std::vector<float> spectrum(8193, 1.0f);
        applyMasks(spectrum.data(), c.m);
        const auto cleared = referenceCleared(c.m);
        for (int i = 1; i <= 8192; ++i) ASSERT_EQ(spectrum[i] == 0.0f, bool(cleared[i])) << c.name << " float " << i;
        EXPECT_EQ(spectrum[0], 1.0f) << c.name;
    }

    std::vector<float> spectrum(8193, 1.0f);
    applyMasks(spectrum.data(), cases[0].m);
    int count = 0;
    for (int i = 1; i <= 8192; ++i) count += spectrum[i] == 0.0f;
    EXPECT_EQ(count, 2);
    EXPECT_EQ(spectrum[100], 0.0f);
    EXPECT_EQ(spectrum[8092], 0.0f);
}

TEST(BlockFilter, SpectraSmoothingFollowsItsFormula) {
    BlockFilter f;
    SharedValues shared;
    for (int m = 1; m <= 2048; ++m) f.maskedBins[m] = f.unmaskedBins[m] = 0.0f;
    f.maskedBins[2 * 7 + 1] = 300.0f;  // bin 7: magnitude 500
    f.maskedBins[2 * 7 + 2] = 400.0f;
    f.unmaskedBins[2 * 7 + 1] = 500.0f;

    f.updateSpectra(shared, true);
    EXPECT_NEAR(get(shared.filteredSpectrum[8]), 500.0, 500 * 1.1e-5);  // within 0.001 % (to float rounding)
    EXPECT_EQ(get(shared.filteredSpectrum[0]), 0.0f);

    SharedValues slow;
    int blocksToReach = 0;
    double expected = 0;
    for (int n = 1; n <= 30; ++n) {
        f.updateSpectra(slow, false);
        expected += (500 - expected) * 0.33333;
        ASSERT_NEAR(get(slow.filteredSpectrum[8]), expected, 1e-3) << n;
        ASSERT_NEAR(get(slow.inputSpectrum[8]), expected, 1e-3) << n;
        if (!blocksToReach && std::abs(get(slow.filteredSpectrum[8]) - 500) < 0.5) blocksToReach = n;
    }
    EXPECT_EQ(blocksToReach, 18);  // (2/3)^18 < 0.1 % < (2/3)^17

    // A non-finite magnitude stores 0 and leaves the next block unharmed.
    f.maskedBins[2 * 7 + 1] = std::numeric_limits<float>::infinity();
    f.updateSpectra(slow, false);
    EXPECT_EQ(get(slow.filteredSpectrum[8]), 0.0f);
    f.maskedBins[2 * 7 + 1] = 300.0f;
    f.updateSpectra(slow, true);
    EXPECT_NEAR(get(slow.filteredSpectrum[8]), 500.0, 0.01);
}
