// Overlap-save FFT filter on 2048-sample blocks with 4096-point frames:
// band reject/pass, four notches, and the two smoothed display spectra.
#pragma once

#include "block_length.h"
#include "settings.h"
#include "shared_values.h"

namespace tolvek {

constexpr int frameLength = 4096;
constexpr int spectrumFloats = 2 * frameLength;  // 8192, numbered 1..8192

// Mask settings as read once per block.
struct MaskSettings {
    bool notchOn[4] = {false, false, false, false};
    float notchFreq[4] = {0, 0, 0, 0};  // position units
    bool rejectOn = false;
    bool passOn = false;
    float lowerCutoff = 0;  // position units
    float upperCutoff = 0;

    static MaskSettings from(ProcessingSettings& s) noexcept;
};

// Half-widths of the notches in floats of the spectrum: narrow .. extra wide.
constexpr int notchHalfWidth[4] = {6, 10, 20, 50};

// Interleaved-spectrum indices that the position conversions give.
int notchCentreIndex(float position) noexcept;  // trunc(v * 2 * 512 / 44100 + 0.5)
int bandEdgeIndex(float position) noexcept;     // trunc(v / 43), single precision

struct BlockFilter {
    float blockHistory[frameLength] = {};           // previous block, then current block
    float blockWindow[frameLength + 1];             // flat middle half, Hann flanks
    float spectrumBuffer[spectrumFloats + 1] = {};  // floats 1..8192; [0] unused
    float unmaskedBins[blockLength + 1] = {};       // floats 1..2048 after the forward FFT
    float maskedBins[blockLength + 1] = {};         // floats 1..2048 after the masks

    BlockFilter() noexcept;

    // Filters one AGC-scaled block; y receives 2048 samples that carry the
    // transform's factor of 4096.
    void process(const float* block, float* y, const MaskSettings& masks) noexcept;

    // Clears the block history and the spectrum buffers; the window stays.
    void reset() noexcept;

    // Moves each displayed magnitude a third (slow) or all (fast) of the way
    // to this block's magnitude; non-finite magnitudes are stored as 0.
    void updateSpectra(SharedValues& shared, bool viewFast) const noexcept;
};

// Clears the notch and band floats of an interleaved spectrum numbered
// 1..8192 (spectrum[0] unused); ranges outside 1..8192 are skipped.
void applyMasks(float* spectrum, const MaskSettings& masks) noexcept;

}  // namespace tolvek
