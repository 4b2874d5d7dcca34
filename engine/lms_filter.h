// Adaptive LMS noise reduction (placeholder until the stage lands).
#pragma once

namespace tolvek {

struct LmsFilter {
    float step(float x, int /*taps*/) noexcept { return x; }
    void reset() noexcept {}
    void requestReset() noexcept {}
};

}  // namespace tolvek
