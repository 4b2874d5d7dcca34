// Impulse noise blanker (placeholder until the stage lands).
#pragma once

namespace tolvek {

struct NoiseBlanker {
    float step(float x, int /*threshold*/) noexcept { return x; }
};

}  // namespace tolvek
