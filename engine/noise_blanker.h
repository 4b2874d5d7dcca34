// Impulse noise blanker: a sample that stands far above the long-term mean
// magnitude is replaced by the short-term mean of the signal, with the
// sample's sign.
#pragma once

namespace tolvek {

struct NoiseBlanker {
    float blankerAvgMagnitude = 0.0f;  // running mean of |x|, engine units, time constant 100000 samples
    float blankerAvgSignal = 0.0f;     // running mean of x, engine units, time constant 1000 samples

    // threshold 1..100 (clamped): a sample passes while |x| <= k x the mean
    // magnitude, k = (100 - threshold) / 10 truncated. A non-finite sample
    // is blanked and leaves the means untouched.
    float step(float x, int threshold) noexcept;

    void reset() noexcept;
};

}  // namespace tolvek
