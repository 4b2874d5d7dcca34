#include "signal_level.h"

#include <cmath>

namespace tolvek {

float signalLevelFromPower(float powerSum) {
    return static_cast<float>(10.0 * std::log10(static_cast<double>(powerSum) / 1024.0) - 44.0);
}

float flooredLevel(float level) { return std::isfinite(level) && level > levelFloor ? level : levelFloor; }

float spectrumLevel(const SharedValues& shared) {
    float power = 0.0f;
    for (const auto& bin : shared.filteredSpectrum) {
        const float m = bin.load(std::memory_order_relaxed);
        power += m * m;
    }
    const float level = signalLevelFromPower(power);
    return std::isfinite(level) ? level : levelFloor;
}

}  // namespace tolvek
