// Mains-hum comb filter: subtracts the average of the signal one to four
// mains periods back, which removes the hum with all its harmonics. The
// period tracks the mains: probes just below and above it compare the
// periodic energy, and once a second the period moves toward the stronger
// side, within +-0.5 % of nominal.
//
// The period and the adaptation interval are tuned to the rate the stream
// runs at. The delay line lives inside the struct at its largest size, so a
// re-tuning never allocates or frees memory; the message thread only posts
// the new tuning, and the step applies it before its next sample.
#pragma once

#include <atomic>
#include <cstdint>

#include "pending_request.h"

namespace tolvek {

struct CombFilter {
    static constexpr int combTeeth = 4;                 // past periods averaged
    static constexpr double combAdaptInterval = 1.0;    // seconds between period adaptations
    static constexpr int maxLineLength = 4096;          // floats; covers 50 Hz at 44100 Hz and beyond
    static constexpr double maxNominalPeriod = 1000.0;  // samples; its line still fits maxLineLength
    // Samples beyond this (comb units, 10^9 x full scale) are clipped, which
    // keeps every sum and power finite.
    static constexpr float inputLimit = 1.0e15f;

    int combRate = 22050;                     // Hz, the stream rate the period is tuned to
    float combPeriod = 441.0f;                // samples at combRate, current tracked period
    float combPeriodMax = 443.205f;           // samples, 1.005 x nominal
    float combPeriodMin = 438.795f;           // samples, 0.995 x nominal
    float combProbeOffset = 1.0f;             // samples between the side probes and the centre, 0.1..10
    float combDelayLine[maxLineLength] = {};  // comb units, kept unrounded; first combMask + 1 used
    int combMask = 2047;                      // used line length - 1, a power of two minus one
    int combWriteIndex = 0;                   // where the current sample goes, 0..combMask
    float combLowSum = 0.0f;                  // leaky integral of the probe at period - offset, comb units
    float combHighSum = 0.0f;                 // the same at period + offset
    float combCentreSum = 0.0f;               // the same at period
    float combLowPower = 0.0f;                // smoothed square of combLowSum, comb units^2
    float combHighPower = 0.0f;
    float combCentrePower = 0.0f;
    int combAdaptCounter = 0;  // steps since the last adaptation, 0..combRate + 1

    // Tuned for 20 ms (50 Hz) at 22050 Hz.
    CombFilter() noexcept;

    // Message thread: re-tunes to a mains period of periodMs at sampleRate Hz
    // and zeroes the line before the next step; the tracking state carries
    // over. Call at start, on a change of mains frequency and after each
    // change of stream rate.
    void requestSetup(float periodMs, int sampleRate) noexcept;

    // x in comb units; returns x minus its periodic part.
    float step(float x) noexcept;

    // Applies a tuning at once; only where no step can run concurrently.
    void setup(float periodMs, int sampleRate) noexcept;

    // Clears the line and the tracking state; the period returns to nominal.
    void reset() noexcept;

  private:
    double readLine(float delay) const noexcept;
    float probe(float period) const noexcept;
    void adaptPeriod() noexcept;

    float combNominalPeriod = 441.0f;  // samples at combRate

    std::atomic<float> requestedPeriodMs{20.0f};
    std::atomic<int32_t> requestedRate{22050};
    PendingRequest setupRequest;  // posted after the two values
};

}  // namespace tolvek
