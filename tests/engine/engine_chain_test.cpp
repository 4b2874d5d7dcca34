// The callback's chain as a whole: test noise, overload, input level,
// pause, recording hand-off, and robustness against bad buffers and samples.
// Its block stage: the FFT against a plain summation DFT, the overlap-save
// filter against a direct computation of the same masked frames, the mask
// index rules, and the display spectra's smoothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <memory>
#include <random>
#include <tuple>
#include <vector>

#include "block_filter.h"
#include "engine.h"
#include "fft.h"

using namespace tolvek;
using Complex = std::complex<double>;

// An engine fed blocks of a tone at 22050 Hz.
struct EngineRig {
    std::unique_ptr<Engine> engine = std::make_unique<Engine>();
    std::vector<float> in = std::vector<float>(2 * blockLength, 0.9f), out = in;  // the right is never read

    // Runs block `block` of a tone in the left channel.
    ProcessResult tone(double freq, double amp, int block) {
        for (int i = 0; i < blockLength; ++i)
            in[2 * i] = float(amp * std::sin(2 * M_PI * freq * double(block * blockLength + i) / 22050));
        return engine->process(in.data(), out.data(), blockLength);
    }
    double outputRms() const {
        double s = 0;
        for (int i = 0; i < blockLength; ++i) s += double(out[2 * i]) * out[2 * i];
        return std::sqrt(s / blockLength);
    }
};

// Range 0..1073741823e-9, positive, uniform (chi-square, 15 degrees of
// freedom, p = 0.001); switched on, it overloads within the first block.
// Input level 100 silences the output within three blocks but does not
// hide an overload: that looks at the raw input.
TEST(EngineChain, TestNoiseInputLevelAndOverload) {
    TestNoise noise;
    const float top = float(1073741823 * 1e-9);
    std::vector<int> counts(16, 0);  // a range cut short leaves the top bin empty
    for (int i = 0; i < 1 << 20; ++i) {
        const float x = noise.sample();
        ASSERT_TRUE(x >= 0.0f && x <= top) << x;
        counts[std::min(15, int(x / top * 16))]++;
    }
    double chi2 = 0;
    for (int c : counts) chi2 += (c - 65536.0) * (c - 65536.0) / 65536.0;  // 2^20 samples, 2^16 a bin
    EXPECT_LT(chi2, 37.7);
    EngineRig noisy, rig;
    put(noisy.engine->settings.noiseTestOn, 1);
    noisy.tone(0, 0, 0);  // silent input: the overload is the noise's own
    EXPECT_EQ(get(noisy.engine->shared.overloadFlag), 1);
    for (int b = 0; b < 3; ++b) rig.tone(700, 0.5, b);
    EXPECT_GT(rig.outputRms(), 0.0);
    put(rig.engine->settings.inputLevel, 100);
    for (int b = 0; b < 3; ++b) rig.tone(700, 0.89, b);
    EXPECT_EQ(rig.outputRms(), 0.0);
    EXPECT_EQ(get(rig.engine->shared.overloadFlag), 0);
    rig.tone(700, 0.9, 3);
    EXPECT_EQ(get(rig.engine->shared.overloadFlag), 1);
}

// The recording is what the listener hears at output level 0, 8000 times
// larger (the 16-bit file's full scale), whatever the output level is (200:
// silence). Pause silences the output and freezes the spectra and the block
// count; the recording goes on with the filtered signal.
TEST(EngineChain, RecordingOutputLevelAndPause) {
    EngineRig rigs[2];  // output levels 0, 200
    for (int r : {0, 1}) {
        put(rigs[r].engine->settings.outputLevel, 200 * r);
        rigs[r].tone(1000, 0.3, 0), rigs[r].tone(1000, 0.3, 1);
    }
    EXPECT_GT(rigs[0].outputRms(), 0.1);
    for (int k = 0; k < blockLength; ++k) {
        ASSERT_NEAR(rigs[0].engine->waveBlock[k], 8000.0 * rigs[0].out[2 * k], 1.0) << k;
        ASSERT_EQ(rigs[1].engine->waveBlock[k], rigs[0].engine->waveBlock[k]) << k;
    }
    EXPECT_EQ(rigs[1].outputRms(), 0.0);
    Engine& e = *rigs[0].engine;
    const uint32_t blocks = e.shared.blocksDone.load();
    const float bin = get(e.shared.filteredSpectrum[191]);
    put(e.settings.pausedOn, 1);
    e.recordRing.open();
    e.settings.recordingOn.store(1, std::memory_order_release);
    EXPECT_TRUE(rigs[0].tone(1000, 0.3, 2).paused);
    EXPECT_EQ(rigs[0].out, std::vector<float>(2 * blockLength, 0.0f));
    EXPECT_TRUE(e.shared.blocksDone.load() == blocks && get(e.shared.filteredSpectrum[191]) == bin);
    const RecordBlock* rec = e.recordRing.front();
    ASSERT_NE(rec, nullptr);
    EXPECT_GT(std::count_if(std::begin(rec->samples), std::end(rec->samples), [](int32_t v) { return v != 0; }), 1000);
}

TEST(EngineChain, BadBuffersAndSamplesDoNoLastingHarm) {
    EngineRig rig;
    std::vector<float> out(2 * blockLength, 7.0f);
    rig.engine->process(nullptr, out.data(), blockLength);
    EXPECT_EQ(out, std::vector<float>(out.size(), 0.0f));  // silence, not stale data
    rig.tone(500, 0.3, 0);
    rig.in[20] = std::nanf(""), rig.in[40] = INFINITY, rig.in[60] = -INFINITY;
    rig.engine->process(rig.in.data(), rig.out.data(), blockLength);
    EXPECT_TRUE(std::isfinite(rig.outputRms()));  // both channels are the same
    rig.tone(500, 0.3, 1);
    EXPECT_TRUE(rig.outputRms() > 0 && std::isfinite(rig.outputRms()));
}

// Buffers of 1, 700 and 1347 frames: the blocks of whole buffers, and
// every output frame written.
TEST(EngineChain, SplitBuffersGiveTheSameBlocks) {
    EngineRig whole, split;
    put(whole.engine->settings.agcOn, 0), put(split.engine->settings.agcOn, 0);
    for (int b = 0; b < 3; ++b) {
        whole.tone(1300, 0.4, b);
        std::fill(split.out.begin(), split.out.end(), 7.0f);
        int at = 0;
        for (int n : {1, 700, 1347})
            split.engine->process(whole.in.data() + 2 * at, split.out.data() + 2 * at, n), at += n;
        EXPECT_EQ(std::count(split.out.begin(), split.out.end(), 7.0f), 0);
    }
    for (int k = 0; k < blockLength; ++k) ASSERT_EQ(whole.engine->blockOutput[k], split.engine->blockOutput[k]);
}

// Unnormalised, with exponent sign `sign`, in double.
static std::vector<Complex> dft(const std::vector<Complex>& x, int sign) {
    const size_t n = x.size();
    std::vector<Complex> w(n), X(n);
    for (size_t t = 0; t < n; ++t) w[t] = std::polar(1.0, sign * 2 * M_PI * double(t) / double(n));
    for (size_t k = 0; k < n; ++k)
        for (size_t m = 0; m < n; ++m) X[k] += x[m] * w[k * m % n];
    return X;
}

// Flat in the middle half, Hann flanks; element 0 unused.
static double window(int m) { return m >= 1024 && m < 3072 ? 1.0 : (1 - std::cos(2 * M_PI * m / 2048)) / 2; }

TEST(Fft, MatchesPlainDftBothSignsAtSeveralSizes) {
    std::mt19937 rng(1234);
    std::uniform_real_distribution<float> u(-1, 1);
    for (int n : {1, 2, 4, 8, 64, 512, 4096})
        for (int sign : {+1, -1}) {
            std::vector<Complex> x(n);
            std::vector<float> d(2 * n + 1, 12345.0f);  // floats numbered 1..2n; float 0 a sentinel that must survive
            for (int k = 0; k < n; ++k)
                d[2 * k + 1] = u(rng), d[2 * k + 2] = u(rng), x[k] = {d[2 * k + 1], d[2 * k + 2]};
            fftTransform(d.data(), n, sign);
            const std::vector<Complex> ref = dft(x, sign);
            for (int k = 0; k < n; ++k)
                ASSERT_LT(std::abs(Complex(d[2 * k + 1], d[2 * k + 2]) - ref[k]), 2e-5 * n) << n << sign << k;
            EXPECT_EQ(d[0], 12345.0f);
        }
}

// Each block against its frame (the previous block, then this one) windowed,
// transformed (+), masked, transformed back (-) and taken at time indices
// 1023..3070, all in double. Masks: none (y is then 4096 x the middle half of
// the frame), notches with a reject band, notches with a pass band.
TEST(BlockFilter, OverlapSaveMatchesDirectMaskedFrames) {
    std::mt19937 rng(99);
    std::uniform_real_distribution<float> u(-100, 100);
    // notchOn, notchFreq, rejectOn, passOn, lowerCutoff, upperCutoff
    const MaskSettings masks[] = {{},
                                  {{true, false, false, true}, {13000, 0, 0, 60000}, true, false, 16500, 32500},
                                  {{false, true, true, false}, {0, 15000, 40000, 0}, false, true, 5000, 90000}};
    for (const MaskSettings& m : masks) {
        std::vector<float> cleared(8193, 1.0f);  // the masks, checked on their own below
        applyMasks(cleared.data(), m);
        BlockFilter f;
        for (int m = 0; m <= 4096; ++m) ASSERT_NEAR(f.blockWindow[m], window(m), window(m) == 1 ? 0 : 1e-6) << m;
        std::vector<float> frame(4096, 0.0f), y(2048);
        for (int block = 0; block < 2; ++block) {
            std::copy(frame.begin() + 2048, frame.end(), frame.begin());
            for (int p = 2048; p < 4096; ++p) frame[p] = u(rng);
            f.process(&frame[2048], y.data(), m);
            std::vector<Complex> X(4096);
            for (int p = 0; p < 4096; ++p) X[p] = frame[p] * window(p + 1);
            X = dft(X, +1);
            for (int k = 0; k < 4096; ++k)
                X[k] = {cleared[2 * k + 1] ? X[k].real() : 0, cleared[2 * k + 2] ? X[k].imag() : 0};
            X = dft(X, -1);
            for (int k = 0; k < 2048; ++k)  // within 2e-5 of the full scale, 4096 x 100
                ASSERT_NEAR(y[k], X[1023 + k].real(), 8.0) << "block " << block << ", sample " << k;
        }
    }
}

// Which of the floats 1..8192 each setting clears, worked out by hand.
TEST(BlockFilter, MaskIndexRules) {
    const std::tuple<const char*, MaskSettings, std::vector<std::pair<int, int>>> cases[] = {
        // the cleared ranges
        {"reject 4300..4300: lo = hi = 100", {{}, {}, true, false, 4300, 4300}, {{100, 100}, {8092, 8092}}},
        {"notch 1 at 0: the part below float 1 is skipped", {{true}}, {{1, 6}, {8186, 8192}}},
        {"notch 1 at its start position 13000: q = 302", {{true}, {13000}}, {{296, 308}, {7884, 7896}}},
        {"notch 4 at 22000: q = 511, h = 50", {{0, 0, 0, 1}, {0, 0, 0, 22000}}, {{461, 561}, {7631, 7731}}},
        {"pass with lo 0: only float 8192 at the top", {{}, {}, false, true, 20, 30000}, {{697, 7495}, {8192, 8192}}},
        {"pass with negative lo: nothing at the top", {{}, {}, false, true, -500, 30000}, {{697, 7495}}},
        {"reject from -1e38 to infinity: everything", {{}, {}, true, false, -1e38f, INFINITY}, {{1, 8192}}},
        {"both bands at the start edges clear everything; wild notches nothing",
         {{0, 0, 1, 1}, {0, 0, 1e30f, NAN}, true, true, 16500, 32500},
         {{1, 8192}}},
    };
    for (const auto& [name, masks, cleared] : cases) {
        std::vector<float> spectrum(8193, 1.0f), want(8193, 1.0f);
        applyMasks(spectrum.data(), masks);
        for (auto [from, to] : cleared) std::fill(want.begin() + from, want.begin() + to + 1, 0.0f);
        for (int i = 0; i <= 8192; ++i) ASSERT_EQ(spectrum[i], want[i]) << name << ", float " << i;
    }
}

// Bin 7 of magnitude 500: Fast shows it at once; Slow goes a third of the way
// each block, both spectra; a non-finite magnitude stores 0 and leaves the next block unharmed.
TEST(BlockFilter, SpectraSmoothing) {
    BlockFilter f;
    SharedValues fast, slow;
    f.maskedBins[2 * 7 + 1] = 300.0f, f.maskedBins[2 * 7 + 2] = 400.0f, f.unmaskedBins[2 * 7 + 1] = 500.0f;
    const auto shown = [&f](SharedValues& s, bool viewFast) {
        f.updateSpectra(s, viewFast);
        return get(s.filteredSpectrum[8]);
    };
    EXPECT_NEAR(shown(fast, true), 500.0, 500 * 1.1e-5);
    EXPECT_EQ(get(fast.filteredSpectrum[0]), 0.0f);
    for (int n = 1; n <= 30; ++n) {
        const float m = shown(slow, false);
        if (n <= 2) EXPECT_NEAR(m, n == 1 ? 166.665 : 277.7756, 1e-3) << n;
        ASSERT_EQ(get(slow.inputSpectrum[8]), m) << n;
    }
    EXPECT_NEAR(get(slow.filteredSpectrum[8]), 500.0, 0.01);  // (2/3)^30 of the way left
    f.maskedBins[2 * 7 + 1] = INFINITY;
    EXPECT_EQ(shown(slow, false), 0.0f);
    f.maskedBins[2 * 7 + 1] = 300.0f;
    EXPECT_NEAR(shown(slow, true), 500.0, 0.01);
}
