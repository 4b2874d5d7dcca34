// The whole audio engine: settings, shared values and every stage's state,
// with the callback's per-sample chain and end-of-block work. A program owns
// one Engine; tests and the offline tool own their own.
#pragma once

#include <cstdint>

#include "agc.h"
#include "auto_notch.h"
#include "block_filter.h"
#include "block_ring.h"
#include "comb_filter.h"
#include "lms_filter.h"
#include "noise_blanker.h"
#include "settings.h"
#include "shared_values.h"
#include "spectral_noise_reduction.h"
#include "test_noise.h"

namespace tolvek {

constexpr float overloadThreshold = 0.891251f;  // -1 dB of full scale
constexpr int recordRingBlocks = 1024;          // about 47 s of backlog at 44100 Hz (8 MiB)

// What one call of the chain reports back to its caller.
struct ProcessResult {
    bool paused = false;  // the last finished block was paused
};

struct Engine {
    ProcessingSettings settings;
    SharedValues shared;

    TestNoise testNoise;
    CombFilter comb;
    NoiseBlanker blanker;
    AutoNotch autoNotch;
    LmsFilter lms;
    SpectralNoiseReduction spectralNr;
    Agc agc;
    BlockFilter blockFilter;

    float blockInput[2 * blockLength] = {};  // first 2048 used
    int blockFill = 0;                       // samples in blockInput
    float blockOutput[blockLength] = {};     // y of the last block, times 4096
    int32_t waveBlock[blockLength] = {};     // y * 8, truncated, for the recorder
    BlockRing<recordRingBlocks> recordRing;  // finished blocks while recording

    // Runs `frames` interleaved stereo frames through the chain; `output`
    // receives the same number of stereo frames. A null input writes silence.
    // Real-time safe: no allocation, no locks, no system calls.
    ProcessResult process(const float* input, float* output, unsigned long frames) noexcept;

    // Clears blockInput and both spectra, as the main window does at creation.
    void clearBuffers() noexcept;

    // Asks the callback to clear the LMS state before the LMS step next runs,
    // then switches the stage on; used by the LMS switch.
    void switchLmsOn() noexcept;

  private:
    float processSample(float x) noexcept;
    bool finishBlock(float* output, unsigned long frames) noexcept;

    bool autoNotchRunning = false;   // the stage ran at the last sample; cleared when it starts again
    bool spectralNrRunning = false;  // likewise
    int cachedInputLevel = -1;
    double inputGain = 0.0;  // inputGainFor(cachedInputLevel)
};

// pow(float((100 - inputLevel) * 0.01), 3.16): the input gain before the
// engine's scale of 1000.
double inputGainFor(int inputLevel) noexcept;

// Sets flush-to-zero and denormals-are-zero for the calling thread.
void disableDenormals() noexcept;

}  // namespace tolvek
