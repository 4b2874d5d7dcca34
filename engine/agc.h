// Automatic gain control: a peak tracker that scales each block toward 0.29
// engine units, or a fixed gain of 8.2392 with the AGC off.
#pragma once

namespace tolvek {

struct Agc {
    float agcPeak = 0.0f;  // tracked peak magnitude, engine units
    int agcHang = 0;       // further blocks during which the peak does not decay

    static constexpr float agcFloor = 0.0006f;  // smallest peak used for the gain
    static float fixedGain() noexcept;          // float(pow(0.05f, 2.2) * 2)

    // Scales one sample by the gain of the peak it leaves. Non-finite samples
    // do not move the peak.
    float step(float x, bool agcOn, bool agcFast) noexcept;

    // Scales the block in place; the hang counts down once per block.
    void process(float* block, int length, bool agcOn, bool agcFast) noexcept;

    // Forgets the tracked peak and its hang.
    void reset() noexcept {
        agcPeak = 0.0f;
        agcHang = 0;
    }
};

}  // namespace tolvek
