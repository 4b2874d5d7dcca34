#include "wav_header.h"

#include <algorithm>
#include <cstring>

namespace tolvek {

void putLittleEndian(uint8_t* dst, uint32_t v, int n) noexcept {
    for (int i = 0; i < n; ++i) dst[i] = static_cast<uint8_t>(v >> (8 * i));
}

std::array<uint8_t, waveHeaderBytes> waveHeader(uint32_t dataBytes, int32_t rate) noexcept {
    std::array<uint8_t, waveHeaderBytes> h{};
    const auto r = static_cast<uint32_t>(rate);
    std::memcpy(&h[0], "RIFF", 4);
    putLittleEndian(&h[4], dataBytes + 36, 4);
    std::memcpy(&h[8], "WAVEfmt ", 8);
    putLittleEndian(&h[16], 16, 4);  // format chunk body
    putLittleEndian(&h[20], 1, 2);   // PCM
    putLittleEndian(&h[22], 2, 2);   // channels
    putLittleEndian(&h[24], r, 4);
    putLittleEndian(&h[28], r * waveFrameBytes, 4);  // bytes per second
    putLittleEndian(&h[32], waveFrameBytes, 2);      // block align
    putLittleEndian(&h[34], 16, 2);                  // bits per sample
    std::memcpy(&h[36], "data", 4);
    putLittleEndian(&h[40], dataBytes, 4);
    return h;
}

int16_t waveSample(int32_t v) noexcept { return static_cast<int16_t>(std::clamp<int32_t>(v, INT16_MIN, INT16_MAX)); }

void packWaveFrames(const int32_t* samples, size_t count, uint8_t* dst) noexcept {
    for (size_t i = 0; i < count; ++i) {
        const auto s = static_cast<uint16_t>(waveSample(samples[i]));
        putLittleEndian(dst + waveFrameBytes * i, s, 2);
        putLittleEndian(dst + waveFrameBytes * i + 2, s, 2);
    }
}

}  // namespace tolvek
