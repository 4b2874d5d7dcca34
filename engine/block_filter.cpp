#include "block_filter.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "conversions.h"
#include "fft.h"

namespace tolvek {

MaskSettings MaskSettings::from(ProcessingSettings& s) noexcept {
    MaskSettings m;
    for (int i = 0; i < 4; ++i) {
        m.notchOn[i] = get(s.notchOn(i)) == 1;
        m.notchFreq[i] = get(s.notchFreq(i));
    }
    m.rejectOn = get(s.rejectOn) == 1;
    m.passOn = get(s.passOn) == 1;
    m.lowerCutoff = get(s.lowerCutoff);
    m.upperCutoff = get(s.upperCutoff);
    return m;
}

int notchCentreIndex(float position) noexcept { return truncIndex(double(position * 2.0f) * 512 / 44100.0 + 0.5); }

int bandEdgeIndex(float position) noexcept { return truncIndex(position / 43.0f); }

BlockFilter::BlockFilter() noexcept {
    for (int m = 0; m <= frameLength; ++m) {
        double w = 1.0;
        if (m < 1024) w = (1 - std::cos(6.2831852 * m / 2048)) * 0.5;
        if (m >= 3072) w = (1 - std::cos(6.2831852 * (m - 2048) / 2048)) * 0.5;
        blockWindow[m] = static_cast<float>(w);
    }
}

static void clearRange(float* spectrum, int first, int last) noexcept {
    first = std::max(first, 1);
    last = std::min(last, spectrumFloats);
    for (int i = first; i <= last; ++i) spectrum[i] = 0.0f;
}

void applyMasks(float* spectrum, const MaskSettings& masks) noexcept {
    for (int i = 0; i < 4; ++i) {
        if (!masks.notchOn[i]) continue;
        const int q = notchCentreIndex(masks.notchFreq[i]);
        const int h = notchHalfWidth[i];
        clearRange(spectrum, q - h, q + h);
        clearRange(spectrum, spectrumFloats - q - h, spectrumFloats - q + h);
    }
    const int lo = bandEdgeIndex(masks.lowerCutoff);
    const int hi = bandEdgeIndex(masks.upperCutoff);
    if (masks.rejectOn) {
        clearRange(spectrum, lo, hi);
        clearRange(spectrum, spectrumFloats - hi, spectrumFloats - lo);
    }
    if (masks.passOn) {
        clearRange(spectrum, 1, lo);
        clearRange(spectrum, hi, spectrumFloats - hi);
        clearRange(spectrum, spectrumFloats - lo, spectrumFloats);
    }
}

void BlockFilter::reset() noexcept {
    std::memset(blockHistory, 0, sizeof blockHistory);
    std::memset(spectrumBuffer, 0, sizeof spectrumBuffer);
    std::memset(unmaskedBins, 0, sizeof unmaskedBins);
    std::memset(maskedBins, 0, sizeof maskedBins);
}

void BlockFilter::process(const float* block, float* y, const MaskSettings& masks) noexcept {
    std::memcpy(blockHistory, blockHistory + blockLength, blockLength * sizeof(float));
    std::memcpy(blockHistory + blockLength, block, blockLength * sizeof(float));

    // The sample at p takes the window value at p + 1.
    for (int p = 0; p < frameLength; ++p) {
        spectrumBuffer[2 * p + 1] = blockHistory[p] * blockWindow[p + 1];
        spectrumBuffer[2 * p + 2] = 0.0f;
    }
    fftForward(spectrumBuffer, frameLength);
    std::memcpy(unmaskedBins + 1, spectrumBuffer + 1, blockLength * sizeof(float));
    applyMasks(spectrumBuffer, masks);
    std::memcpy(maskedBins + 1, spectrumBuffer + 1, blockLength * sizeof(float));
    fftInverse(spectrumBuffer, frameLength);

    // The flat middle of the frame: time indices 1023..3070.
    for (int k = 0; k < blockLength; ++k) y[k] = spectrumBuffer[2047 + 2 * k];
}

static void smoothInto(std::array<std::atomic<float>, spectrumSize>& spectrum, const float* bins, int factor) noexcept {
    for (int m = 1; m < spectrumSize; ++m) {
        const float re = bins[2 * m - 1];
        const float im = bins[2 * m];
        const float a = std::sqrt(re * re + im * im);
        const float old = get(spectrum[m]);
        float next = old + static_cast<float>(double((a - old) * float(factor)) * 0.33333);
        if (!std::isfinite(next)) next = 0.0f;
        put(spectrum[m], next);
    }
}

void BlockFilter::updateSpectra(SharedValues& shared, bool viewFast) const noexcept {
    const int factor = viewFast ? 3 : 1;
    smoothInto(shared.filteredSpectrum, maskedBins, factor);
    smoothInto(shared.inputSpectrum, unmaskedBins, factor);
}

}  // namespace tolvek
