// In-place radix-2 complex FFT on interleaved single-precision data.
//
// Floats are numbered 1..2n: float 2k+1 is the real and float 2k+2 the
// imaginary part of point k, so `data` must hold 2n + 1 floats and data[0]
// is never touched. The pair is not normalised: fftInverse after fftForward
// returns n times the input.
#pragma once

namespace tolvek {

// sign +1: X[k] = sum x[m] exp(+2 pi i k m / n); sign -1: the negative exponent.
void fftTransform(float* data, int n, int sign) noexcept;

inline void fftForward(float* data, int n) noexcept { fftTransform(data, n, +1); }
inline void fftInverse(float* data, int n) noexcept { fftTransform(data, n, -1); }

}  // namespace tolvek
