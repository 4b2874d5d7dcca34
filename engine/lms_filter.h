// Adaptive LMS noise reduction: a leaky LMS linear predictor whose
// prediction of the current sample is the output. Tones and voiced speech
// are predictable and pass; broadband noise is not and drops.
//
// The reference vector is kept as a mirrored ring instead of being shifted
// each sample, and each step already computes the next sample's prediction
// while it updates the weights, so one pass over the taps does both. While
// the step stays inside its bound (stepMargin) the results are bit-identical
// to the plain shift-and-sum form: the same float operations on the same
// values in the same order.
#pragma once

#include "pending_request.h"

namespace tolvek {

struct LmsFilter {
    static constexpr int maxTaps = 3000;          // the Controls dialog's range
    static constexpr int ringSize = maxTaps + 1;  // reference positions 0..maxTaps
    // A prediction beyond this (engine units, 100 x full scale at input
    // level 0) only comes from weights that have diverged; with the bounded
    // step it is a last guard against non-finite arithmetic.
    static constexpr float divergenceLimit = 1.0e5f;

    // The largest normalised step, effective step x |reference|^2, the stage
    // takes with `taps` taps. The step grows with the signal's power, so at a
    // high input level it would leave the stable range (below 2) and at
    // half of that already drowns the gain in adaptation noise; where the
    // plain step stays below this bound it is used unchanged. Short filters
    // get more room because their |reference|^2 swings with every sample.
    static constexpr float stepMargin(int taps) noexcept { return 0.05f + 1.0f / static_cast<float>(taps); }

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
    float lmsNextEnergy = 0.0f;      // the next sample's |reference|^2 over lmsNextTaps taps, engine units^2
    int lmsNextTaps = 0;             // taps lmsNextPrediction and lmsNextEnergy hold; 0 = none

    // Predicts x from the previous `taps` inputs (clamped to 1..maxTaps),
    // adapts the weights and returns the prediction. Applies a pending reset
    // first; a diverged state is reset instead of passed on.
    float step(float x, int taps) noexcept;

    // Clears the weights and the reference vector (audio thread, or while
    // no step can run). The previous input is kept.
    void reset() noexcept;

    // Message thread: asks the audio thread to reset before its next step.
    void requestReset() noexcept { resetRequest.post(); }

  private:
    void applyLength(int taps) noexcept;
    float predict(const float* reference, int taps) const noexcept;
    static float energy(const float* reference, int taps) noexcept;
    void writeRing(int index, float v) noexcept;

    PendingRequest resetRequest;
};

}  // namespace tolvek
