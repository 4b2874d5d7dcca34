#include "tone.h"

#include <cmath>
#include <numbers>
#include <vector>

namespace tolvek::test {

constexpr double twoPi = 2 * std::numbers::pi;

bool writeStereoToneWav(const std::string& path, int rate, double seconds, double amplitude, double cyclesPerSample,
                        double rightAmplitude, double rightCyclesPerSample) {
    std::vector<float> buf(2 * size_t(std::lround(seconds * rate)));
    for (size_t n = 0; n < buf.size() / 2; ++n) {
        buf[2 * n] = float(amplitude * std::sin(twoPi * cyclesPerSample * double(n)));
        buf[2 * n + 1] = float(rightAmplitude * std::sin(twoPi * rightCyclesPerSample * double(n)));
    }
    return writeSound(path, buf, rate, 2);
}

}  // namespace tolvek::test
