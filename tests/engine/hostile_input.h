// Hostile input for the stages' robustness checks, n samples of each:
// silence, a full-scale square wave, denormal-range values, then infinities
// and NaNs among near-maximum floats.
#pragma once

#include <cmath>
#include <vector>

namespace tolvek::test {

inline std::vector<float> hostileInput(int n, float fullScale, int squareHalfPeriod) {
    std::vector<float> x(4 * static_cast<size_t>(n), 0.0f);
    for (int i = 0; i < n; ++i) {
        x[n + i] = (i / squareHalfPeriod) % 2 ? fullScale : -fullScale;
        x[2 * n + i] = static_cast<float>(i % 3 - 1) * 1e-41f;
        x[3 * n + i] = i % 50 == 0 ? (i % 100 ? INFINITY : NAN) : (i % 2 ? 3e38f : -3e38f);
    }
    return x;
}

}  // namespace tolvek::test
