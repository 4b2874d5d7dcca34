// Float-to-integer conversions that truncate toward zero, as the engine's
// arithmetic prescribes, but are defined for every input: the value is
// clamped to the target range first and NaN maps to the low end.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

namespace tolvek {

inline int64_t truncClamped(double v, int64_t lo, int64_t hi) noexcept {
    if (!(v >= static_cast<double>(lo))) return lo;  // also NaN
    if (v >= static_cast<double>(hi)) return hi;
    return static_cast<int64_t>(v);
}

// Positions and bin indices: far outside any spectrum, but safe to offset.
inline int truncIndex(double v) noexcept { return static_cast<int>(truncClamped(v, -1000000000, 1000000000)); }

inline int32_t truncInt32(double v) noexcept {
    return static_cast<int32_t>(
        truncClamped(v, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

// Pixel coordinates: generous bounds that painting code can still offset.
inline int truncPixel(double v) noexcept { return static_cast<int>(truncClamped(v, -1000000, 1000000)); }

}  // namespace tolvek
