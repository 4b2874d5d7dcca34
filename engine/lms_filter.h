// Adaptive LMS noise reduction: a leaky LMS linear predictor whose
// prediction of the current sample is the output. Tones and voiced speech
// are predictable and pass; broadband noise is not and drops.
//
// The reference vector is kept as a mirrored ring instead of being shifted
// each sample, and each step already computes the next sample's prediction
// while it updates the weights, so one pass over the taps does both. The
// results are bit-identical to the plain shift-and-sum form: the same float
// operations on the same values in the same order.
#pragma once

#include <atomic>
#include <cstdint>

namespace tolvek {

struct LmsFilter {
    static constexpr int maxTaps = 3000;          // the Controls dialog's range
    static constexpr int ringSize = maxTaps + 1;  // reference positions 0..maxTaps
    // A prediction beyond this (engine units, 100 x full scale) only comes
    // from weights that have diverged.
    static constexpr float divergenceLimit = 1.0e5f;

    float lmsWeights[maxTaps] = {};  // filter weights, dimensionless, 3000
    // lmsReference element i is lmsHistory[lmsHead + i] for i = 0..lmsDepth;
    // the second half mirrors the first so every window is contiguous.
    float lmsHistory[2 * ringSize] = {};  // previous inputs, newest first, engine units, 2 x 3001
    // lmsReference elements beyond lmsDepth, which stand still while the
    // length is shorter, at their own index.
    float lmsParked[ringSize] = {};  // engine units, 3001
    int lmsHead = 0;                 // ring index of lmsReference element 0, 0..ringSize-1
    int lmsDepth = 1;                // highest lmsReference index held in the ring, 1..maxTaps
    float lmsPrevious = 0.0f;        // the previous input (element 1 of the input line), engine units
    float lmsNextPrediction = 0.0f;  // the next sample's prediction at lmsNextTaps taps, engine units
    int lmsNextTaps = 0;             // taps lmsNextPrediction was computed with; 0 = none

    // Predicts x from the previous `taps` inputs (clamped to 1..maxTaps),
    // adapts the weights and returns the prediction. Applies a pending reset
    // first; a diverged state is reset instead of passed on.
    float step(float x, int taps) noexcept;

    // Clears the weights and the reference vector (audio thread, or while
    // no step can run). The previous input is kept.
    void reset() noexcept;

    // Message thread: asks the audio thread to reset before its next step.
    void requestReset() noexcept { resetRequests.fetch_add(1, std::memory_order_release); }

  private:
    void applyLength(int taps) noexcept;
    float predict(const float* reference, int taps) const noexcept;
    void writeRing(int index, float v) noexcept;

    std::atomic<uint32_t> resetRequests{0};  // bumped by requestReset
    uint32_t resetsApplied = 0;              // requests the audio thread has honoured
};

}  // namespace tolvek
