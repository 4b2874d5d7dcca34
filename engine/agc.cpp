#include "agc.h"

#include <algorithm>
#include <cmath>

namespace tolvek {

// Computed at start-up, so the audio thread never runs a guarded initialiser.
static const float fixedGainValue = static_cast<float>(std::pow(0.05f, 2.2) * 2);

float Agc::fixedGain() noexcept { return fixedGainValue; }

float Agc::step(float x, bool agcOn, bool agcFast) noexcept {
    const float s = std::fabs(x);
    if (s > agcPeak && std::isfinite(s)) {
        agcPeak = (s + 9 * agcPeak) / 10;
        agcHang = agcFast ? 1 : 6;
    }
    const float y = agcOn ? x * (0.29f / std::max(agcPeak, agcFloor)) : x * fixedGainValue * 3000;
    if (agcHang == 0) agcPeak = agcPeak * (agcFast ? 0.9995f : 0.9999f);
    return y;
}

void Agc::process(float* block, int length, bool agcOn, bool agcFast) noexcept {
    for (int n = 0; n < length; ++n) block[n] = step(block[n], agcOn, agcFast);
    if (agcHang > 0) --agcHang;
}

}  // namespace tolvek
