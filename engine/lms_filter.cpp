#include "lms_filter.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tolvek {

void LmsFilter::writeRing(int index, float v) noexcept {
    const int k = index % ringSize;
    lmsHistory[k] = v;
    lmsHistory[k + ringSize] = v;
}

void LmsFilter::reset() noexcept {
    std::memset(lmsWeights, 0, sizeof lmsWeights);
    std::memset(lmsHistory, 0, sizeof lmsHistory);
    std::memset(lmsParked, 0, sizeof lmsParked);
    // The coming step's reference element 0 is the previous input, which a
    // reset keeps.
    writeRing(lmsHead, lmsPrevious);
    lmsNextTaps = 0;
}

// Elements up to the old length move with the ring; those beyond it stand
// still. A shorter length parks the elements it leaves behind, a longer one
// brings back the parked elements it will read.
void LmsFilter::applyLength(int taps) noexcept {
    if (taps < lmsDepth) {
        for (int i = taps + 1; i <= lmsDepth; ++i) lmsParked[i] = lmsHistory[lmsHead + i];
    } else {
        for (int i = lmsDepth + 1; i < taps; ++i) writeRing(lmsHead + i, lmsParked[i]);
    }
    lmsDepth = taps;
}

float LmsFilter::predict(const float* reference, int taps) const noexcept {
    float y = 0.0f;
    for (int i = 0; i < taps; ++i) y += lmsWeights[i] * reference[i];
    return y;
}

float LmsFilter::energy(const float* reference, int taps) noexcept {
    float sum = 0.0f;
    for (int i = 0; i < taps; ++i) sum += reference[i] * reference[i];
    return sum;
}

float LmsFilter::step(float x, int taps) noexcept {
    if (!std::isfinite(x)) x = 0.0f;
    if (resetRequest.acquire()) reset();
    const int L = std::clamp(taps, 1, maxTaps);
    applyLength(L);

    const float* reference = lmsHistory + lmsHead;
    const bool cached = lmsNextTaps == L;
    float y = cached ? lmsNextPrediction : predict(reference, L);
    float referenceEnergy = cached ? lmsNextEnergy : energy(reference, L);
    if (!(std::fabs(y) <= divergenceLimit)) {
        reset();
        y = predict(reference, L);
        referenceEnergy = energy(reference, L);
    }

    const float mu = 0.02f / static_cast<float>(L + 1);
    const float e = x - y;
    // The step grows with the square of the previous input.
    const float r0 = reference[0];
    const float r0Squared = r0 * r0;
    const double scaled = static_cast<float>(static_cast<double>(r0Squared) * 0.01);
    const float g = static_cast<float>(scaled + 1.98);
    float stepSize = g * mu;
    const float margin = stepMargin(L);
    if (stepSize * referenceEnergy > margin) stepSize = margin / referenceEnergy;
    const float gain = stepSize * e;

    // The next step's reference is this one moved down by one, with x on top.
    const int next = lmsHead == 0 ? ringSize - 1 : lmsHead - 1;
    writeRing(next, x);
    lmsPrevious = x;

    // Updates each weight and at once adds its term to the next prediction:
    // the in-order sum is a chain of dependent additions, and the update
    // work fits in the time the chain waits.
    const float* nextReference = lmsHistory + next;
    float nextY = 0.0f;
    int i = 0;
#if defined(__SSE2__)
    __m128 energy4 = _mm_setzero_ps();
    const __m128 gain4 = _mm_set1_ps(gain);
    const __m128d leak = _mm_set1_pd(0.99996);
    for (; i + 4 <= L; i += 4) {
        const __m128 w = _mm_loadu_ps(lmsWeights + i);
        const __m128d low = _mm_mul_pd(_mm_cvtps_pd(w), leak);
        const __m128d high = _mm_mul_pd(_mm_cvtps_pd(_mm_movehl_ps(w, w)), leak);
        const __m128 leaked = _mm_movelh_ps(_mm_cvtpd_ps(low), _mm_cvtpd_ps(high));
        const __m128 updated = _mm_add_ps(_mm_mul_ps(gain4, _mm_loadu_ps(reference + i)), leaked);
        _mm_storeu_ps(lmsWeights + i, updated);
        const __m128 r = _mm_loadu_ps(nextReference + i);
        energy4 = _mm_add_ps(energy4, _mm_mul_ps(r, r));
        alignas(16) float terms[4];
        _mm_store_ps(terms, _mm_mul_ps(updated, r));
        nextY += terms[0];
        nextY += terms[1];
        nextY += terms[2];
        nextY += terms[3];
    }
    alignas(16) float energies[4];
    _mm_store_ps(energies, energy4);
    float nextEnergy = (energies[0] + energies[1]) + (energies[2] + energies[3]);
#else
    float nextEnergy = 0.0f;
#endif
    for (; i < L; ++i) {
        const float w = gain * reference[i] + static_cast<float>(static_cast<double>(lmsWeights[i]) * 0.99996);
        lmsWeights[i] = w;
        nextY += w * nextReference[i];
        nextEnergy += nextReference[i] * nextReference[i];
    }
    lmsNextPrediction = nextY;
    lmsNextEnergy = nextEnergy;
    lmsNextTaps = L;
    lmsHead = next;
    return y;
}

}  // namespace tolvek
