// The callback's chain as a whole: test noise, overload, input level,
// pause, recording hand-off, and robustness against bad buffers and samples.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "engine.h"

using namespace tolvek;

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
