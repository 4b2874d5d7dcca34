// Paints while another thread keeps writing the spectra, as the audio
// thread does: the picture may mix two blocks but stays within the graph.
#include <atomic>
#include <limits>
#include <random>
#include <thread>

#include "paint_fixture.h"

namespace tolvek::test {
namespace {

TEST_F(PaintFixture, SpectraWrittenDuringPaintsGiveAPictureOnTheGraph) {
    std::atomic<bool> stop{false};
    std::thread writer([&] {
        std::mt19937 rng(5);
        std::uniform_real_distribution<float> u(0, 3000);
        const float odd[] = {0, std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(), -1};
        for (unsigned n = 0; !stop.load(); ++n)
            for (int i = 1; i < spectrumSize; ++i) {
                const float m = (n + unsigned(i)) % 97 == 0 ? odd[n % 4] : u(rng);
                put(shared.filteredSpectrum[i], m);
                put(shared.inputSpectrum[i], m * 2);
                put(shared.overloadFlag, 1);
            }
    });
    for (int k = 0; k < 40; ++k) {
        paint(1);
        EXPECT_GE(state->signalLevel, -110.0f);
    }
    stop = true;
    writer.join();
    // No trace pixel above the graph or below it.
    const QRect above(61, 36, 861, 5), below(61, 262, 861, 5);
    for (QRect r : {above, below})
        EXPECT_EQ(countColour(picture, qRgb(221, 221, 221), r) + countColour(picture, qRgb(102, 102, 0), r), 0);
}

}  // namespace
}  // namespace tolvek::test
