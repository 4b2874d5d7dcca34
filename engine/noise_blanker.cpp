#include "noise_blanker.h"

#include <algorithm>
#include <cmath>

namespace tolvek {

void NoiseBlanker::reset() noexcept {
    blankerAvgMagnitude = 0.0f;
    blankerAvgSignal = 0.0f;
    blankerSamplesAveraged = 0;
}

float NoiseBlanker::step(float x, int threshold) noexcept {
    // Positive samples are replaced by the mean, all others by its negative.
    const auto blanked = [this, x] { return x > 0 ? blankerAvgSignal : -blankerAvgSignal; };
    if (!std::isfinite(x)) return blanked();

    const double v = static_cast<double>(x);
    const double a = std::sqrt(v * v);
    if (blankerSamplesAveraged < magnitudeSpan && (a > 0 || blankerSamplesAveraged > 0)) {
        ++blankerSamplesAveraged;
        const double mean = blankerAvgMagnitude;
        blankerAvgMagnitude = static_cast<float>(mean + (a - mean) / blankerSamplesAveraged);
    } else {
        blankerAvgMagnitude = static_cast<float>(static_cast<double>(blankerAvgMagnitude) * 0.99999 + a * 0.00001);
    }
    blankerAvgSignal = static_cast<float>(static_cast<double>(blankerAvgSignal) * 0.999 + v * 0.001);
    const int k = (100 - std::clamp(threshold, 1, 100)) / 10;
    return a > k * static_cast<double>(blankerAvgMagnitude) ? blanked() : x;
}

}  // namespace tolvek
