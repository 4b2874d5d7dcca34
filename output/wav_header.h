// The WAV file format of a recording: a 44-byte RIFF/WAVE header for 16-bit
// PCM with two channels, and the packing of engine blocks into frames.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace tolvek {

constexpr int waveHeaderBytes = 44;
constexpr int waveFrameBytes = 4;  // int16 left, int16 right
// The largest data size the 32-bit RIFF size field (data + 36) can hold.
constexpr uint32_t waveMaxDataBytes = 0xFFFFFFFFu - 36;

// Stores the low `n` bytes of `v` at `dst`, least significant first.
void putLittleEndian(uint8_t* dst, uint32_t v, int n) noexcept;

// The header of a file with `dataBytes` bytes of sample data at `rate` Hz.
std::array<uint8_t, waveHeaderBytes> waveHeader(uint32_t dataBytes, int32_t rate) noexcept;

// One engine sample as the 16-bit value of both channels: beyond 16 bits it
// saturates rather than wrapping.
int16_t waveSample(int32_t v) noexcept;

// Packs `count` engine samples into `count` frames at `dst`
// (count * waveFrameBytes bytes); both channels carry the same sample.
void packWaveFrames(const int32_t* samples, size_t count, uint8_t* dst) noexcept;

}  // namespace tolvek
