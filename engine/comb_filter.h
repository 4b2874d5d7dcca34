// Mains-hum comb filter (placeholder until the stage lands).
#pragma once

namespace tolvek {

struct CombFilter {
    void requestSetup(float /*periodMs*/, int /*sampleRate*/) noexcept {}
    float step(float x) noexcept { return x; }
};

}  // namespace tolvek
