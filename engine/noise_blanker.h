// Impulse noise blanker: a sample that stands far above the long-term mean
// magnitude is replaced by the short-term mean of the signal, with the
// sample's sign.
#pragma once

namespace tolvek {

struct NoiseBlanker {
    static constexpr int magnitudeSpan = 100000;  // samples, the time constant of the mean magnitude

    float blankerAvgMagnitude = 0.0f;  // running mean of |x|, engine units, time constant 100000 samples
    float blankerAvgSignal = 0.0f;     // running mean of x, engine units, time constant 1000 samples
    // Samples in blankerAvgMagnitude while it is still the plain mean of all
    // magnitudes since the first non-zero one, 0..magnitudeSpan. A running
    // mean that starts at 0 would sit far below the signal for seconds and
    // blank nearly everything; the plain mean is right from the first sample
    // and hands over to the running mean seamlessly, both weighting the new
    // sample by 1/100000 at the hand-over.
    int blankerSamplesAveraged = 0;

    // threshold 1..100 (clamped): a sample passes while |x| <= k x the mean
    // magnitude, k = (100 - threshold) / 10 truncated. A non-finite sample
    // is blanked and leaves the means untouched.
    float step(float x, int threshold) noexcept;

    // Clears the means; the next run starts a new plain mean.
    void reset() noexcept;
};

}  // namespace tolvek
