#include "agc.h"

#include <algorithm>
#include <cmath>

namespace tolvek {

// Computed at start-up, so the audio thread never runs a guarded initialiser.
static const float fixedGainValue = static_cast<float>(std::pow(0.05f, 2.2) * 2);

float Agc::fixedGain() noexcept { return fixedGainValue; }

void Agc::process(float* block, int length, bool agcOn, bool agcFast) noexcept {
    const float agcDecay = agcFast ? 0.9995f : 0.9999f;
    const float offGain = fixedGain();
    for (int n = 0; n < length; ++n) {
        const float s = std::fabs(block[n]);
        if (s > agcPeak && std::isfinite(s)) {
            agcPeak = (s + 9 * agcPeak) / 10;
            agcHang = agcFast ? 1 : 6;
        }
        if (agcOn)
            block[n] = block[n] * (0.29f / std::max(agcPeak, agcFloor));
        else
            block[n] = block[n] * offGain * 3000;
        if (agcHang == 0) agcPeak = agcPeak * agcDecay;
    }
    if (agcHang > 0) --agcHang;
}

}  // namespace tolvek
