#include "engine.h"

#include <cmath>
#include <cstring>

#include "conversions.h"

#if defined(__SSE__) || defined(__x86_64__)
#include <immintrin.h>
#endif

namespace tolvek {

double inputGainFor(int inputLevel) noexcept {
    const float g = static_cast<float>((100 - inputLevel) * 0.01);
    return std::pow(g, 3.16);
}

void disableDenormals() noexcept {
#if defined(__SSE__) || defined(__x86_64__)
    _mm_setcsr(_mm_getcsr() | 0x8040);  // FTZ and DAZ
#endif
}

void Engine::clearBuffers() noexcept {
    std::memset(blockInput, 0, sizeof blockInput);
    for (auto& v : shared.filteredSpectrum) put(v, 0.0f);
    for (auto& v : shared.inputSpectrum) put(v, 0.0f);
}

void Engine::switchLmsOn() noexcept {
    lms.requestReset();
    settings.lmsOn.store(1, std::memory_order_release);
}

float Engine::processSample(float x) noexcept {
    ProcessingSettings& s = settings;
    if (get(s.noiseTestOn) != 0) x = testNoise.sample();

    if (std::fabs(x) > overloadThreshold && get(shared.overloadFlag) != 1) put(shared.overloadFlag, 1);

    const int level = get(s.inputLevel);
    if (level != cachedInputLevel) {
        cachedInputLevel = level;
        inputGain = inputGainFor(level);
    }
    x = static_cast<float>(double(x) * inputGain * 1000);

    if (get(s.combOn) != 0) x = comb.step(x * 1000.0f) / 1000.0f;
    if (get(s.blankerOn) == 1) x = blanker.step(x, get(s.blankerThreshold));
    // The auto notch follows the comb and the blanker, so hum lines and
    // impulses do not disturb its trackers, and precedes the LMS, which would
    // otherwise keep the carriers (it passes whatever is predictable).
    const bool notchOn = get(s.autoNotchOn) == 1;
    if (notchOn && !autoNotchRunning) autoNotch.reset();
    autoNotchRunning = notchOn;
    if (notchOn) x = autoNotch.step(x, get(s.sampleRate));
    // Acquire pairs with switchLmsOn, so a pending reset is seen before the step.
    if (s.lmsOn.load(std::memory_order_acquire) == 1) x = lms.step(x, get(s.lmsStrength));
    // Spectral noise reduction comes last before the block, so the AGC
    // measures the cleaned signal and the carriers are already gone (a
    // steady carrier would otherwise count as noise and be only lowered).
    const bool nrOn = get(s.spectralNrOn) == 1;
    if (nrOn && !spectralNrRunning) spectralNr.reset();
    spectralNrRunning = nrOn;
    if (nrOn) x = spectralNr.step(x, get(s.spectralNrStrength), get(s.sampleRate));

    // A non-finite sample would spoil two whole FFT frames.
    return std::isfinite(x) ? x : 0.0f;
}

bool Engine::finishBlock(float* output, unsigned long frames) noexcept {
    ProcessingSettings& s = settings;
    agc.process(blockInput, blockLength, get(s.agcOn) != 0, get(s.agcFast) == 1);
    blockFill = 0;
    blockFilter.process(blockInput, blockOutput, MaskSettings::from(s));

    const bool paused = get(s.pausedOn) == 1;
    const double gain = (paused ? 0.0 : 1.0) * (1 - get(s.outputLevel) / 200.0) / 1000;
    const unsigned long n = frames < blockLength ? frames : blockLength;
    for (unsigned long k = 0; k < n; ++k) {
        const float v = static_cast<float>(double(blockOutput[k]) * gain);
        output[2 * k] = v;
        output[2 * k + 1] = v;
    }

    for (int k = 0; k < blockLength; ++k) waveBlock[k] = truncInt32(double(blockOutput[k]) * 8.0);
    if (s.recordingOn.load(std::memory_order_acquire) == 1) recordRing.push(waveBlock);

    if (paused) return true;
    blockFilter.updateSpectra(shared, get(s.viewFast) == 1);
    shared.blocksDone.fetch_add(1, std::memory_order_release);
    return false;
}

ProcessResult Engine::process(const float* input, float* output, unsigned long frames) noexcept {
    ProcessResult result;
    if (input == nullptr) {
        if (output) std::memset(output, 0, frames * 2 * sizeof(float));
        return result;
    }
    // The stream delivers whole blocks; any other buffer size gets silence
    // wherever no finished block is written.
    if (frames != static_cast<unsigned long>(blockLength)) std::memset(output, 0, frames * 2 * sizeof(float));

    for (unsigned long i = 0; i < frames; ++i) {
        blockInput[blockFill++] = processSample(input[2 * i]);
        if (blockFill == blockLength) {
            result.paused = finishBlock(output, frames);
        }
    }
    return result;
}

}  // namespace tolvek
