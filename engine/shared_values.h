// Values the audio callback writes for the message thread.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

namespace tolvek {

constexpr int spectrumSize = 1025;  // element k+1 is FFT bin k; element 0 stays 0

struct SharedValues {
    std::atomic<int32_t> overloadFlag{0};                             // set by the callback, cleared by the paint
    std::array<std::atomic<float>, spectrumSize> filteredSpectrum{};  // after the masks
    std::array<std::atomic<float>, spectrumSize> inputSpectrum{};     // before the masks
    std::atomic<float> cpuLoad{0.0f};                                 // fraction 0..1 of the buffer period
    std::atomic<uint32_t> dropouts{0};  // stream buffers flagged as input lost or output padded, since start
    // Counts the blocks whose spectra have been stored; incremented with
    // release after the spectra, so a reader that acquires it sees them.
    std::atomic<uint32_t> blocksDone{0};
};

}  // namespace tolvek
