#include "fft.h"

#include <cmath>
#include <utility>

namespace tolvek {

void fftTransform(float* data, int n, int sign) noexcept {
    const int floats = 2 * n;

    // Bit reversal of the point order.
    int j = 1;
    for (int i = 1; i <= floats; i += 2) {
        if (j > i) {
            std::swap(data[j], data[i]);
            std::swap(data[j + 1], data[i + 1]);
        }
        int m = n;
        while (m >= 2 && j > m) {
            j -= m;
            m /= 2;
        }
        j += m;
    }

    // Danielson-Lanczos butterflies; twiddles by trigonometric recurrence.
    int mmax = 2;
    while (floats > mmax) {
        const int istep = 2 * mmax;
        const double theta = sign * 6.2831852 / mmax;
        float wtemp = static_cast<float>(std::sin(theta / 2));
        const float wpr = -2.0f * wtemp * wtemp;
        const float wpi = static_cast<float>(std::sin(theta));
        float wr = 1.0f;
        float wi = 0.0f;
        for (int m = 1; m < mmax; m += 2) {
            for (int i = m; i <= floats; i += istep) {
                const int k = i + mmax;
                const float tempr = wr * data[k] - wi * data[k + 1];
                const float tempi = wr * data[k + 1] + wi * data[k];
                data[k] = data[i] - tempr;
                data[k + 1] = data[i + 1] - tempi;
                data[i] += tempr;
                data[i + 1] += tempi;
            }
            wtemp = wr;
            wr = wr * wpr - wi * wpi + wr;
            wi = wi * wpr + wtemp * wpi + wi;
        }
        mmax = istep;
    }
}

}  // namespace tolvek
