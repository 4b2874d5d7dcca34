#include "spectral_noise_reduction.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "fft.h"

namespace tolvek {

namespace {
constexpr double pi = 3.14159265358979323846;
// The typical SNR of a bin that holds speech, as the noise tracker assumes it
// (10 dB: weaker speech still counts as speech and stays out of the noise)
// and as the gain's presence weighting assumes it (17 dB: stricter, so that
// lone noise peaks in the pauses go to the floor).
constexpr float trackerPriorSnr = 10.0f;
constexpr float gainPriorSnr = 50.0f;
constexpr float noiseSmoothing = 0.8f;  // per hop of about 23 ms
constexpr float presenceSmoothing = 0.9f;
constexpr float decisionDirected = 0.92f;
constexpr int learningFrames = 8;  // the first frames only learn the noise (about 0.2 s)

// Posterior probability that a bin holds speech, for the frame's power
// against the noise's (snr) if speech bins have the a-priori SNR `prior`
// and speech is as likely present as absent.
float speechPresence(float snr, float prior) { return 1 / (1 + (1 + prior) * std::exp(-snr * prior / (1 + prior))); }

// E1(v), the exponential integral (Abramowitz and Stegun 5.1.53 and 5.1.56,
// error below 5e-5 relative).
float exponentialIntegral(float v) {
    if (v <= 1.0f) {
        const float p =
            -0.57721566f +
            v * (0.99999193f + v * (-0.24991055f + v * (0.05519968f + v * (-0.00976004f + v * 0.00107857f))));
        return p - std::log(std::max(v, 1e-20f));
    }
    const float num = v * v + 2.334733f * v + 0.250621f, den = v * v + 3.330657f * v + 1.681534f;
    return num / den * std::exp(-v) / v;
}
}  // namespace

float SpectralNoiseReduction::gainFloorFor(int strength) noexcept {
    return std::pow(10.0f, -0.5f * static_cast<float>(std::clamp(strength, 0, 100)) / 20);
}

float logSpectralAmplitudeGain(float xi, float gamma) noexcept {
    const float v = xi / (1 + xi) * gamma;
    return xi / (1 + xi) * (v > 20 ? 1.0f : std::exp(0.5f * exponentialIntegral(v)));
}

void SpectralNoiseReduction::setup(int sampleRate) noexcept {
    rate = sampleRate;
    // About 46 ms at every rate: long enough to resolve a voice's harmonics,
    // which keeps them apart from the noise between them.
    frameLength = 256;
    for (int r = 5512 * 3 / 2; r < sampleRate && frameLength < maxFrame; r *= 2) frameLength *= 2;
    for (int i = 0; i < frameLength; ++i) window[i] = static_cast<float>(std::sin(pi * i / frameLength));
    reset();
}

void SpectralNoiseReduction::reset() noexcept {
    std::memset(input, 0, sizeof input);
    std::memset(overlap, 0, sizeof overlap);
    std::memset(ready, 0, sizeof ready);
    std::memset(noisePower, 0, sizeof noisePower);
    std::memset(presence, 0, sizeof presence);
    std::memset(previousCleanPower, 0, sizeof previousCleanPower);
    hopFill = 0;
    frames = 0;
}

void SpectralNoiseReduction::processFrame(float gainFloor) noexcept {
    const int n = frameLength, bins = n / 2 + 1;
    for (int i = 0; i < n; ++i) {
        spectrum[2 * i + 1] = input[i] * window[i];
        spectrum[2 * i + 2] = 0.0f;
    }
    fftForward(spectrum, n);
    ++frames;
    for (int k = 0; k < bins; ++k) {
        const float power = spectrum[2 * k + 1] * spectrum[2 * k + 1] + spectrum[2 * k + 2] * spectrum[2 * k + 2];
        if (!std::isfinite(power)) {  // input beyond float range: this frame is silence, the noise learnt anew
            reset();
            return;
        }
        float& noise = noisePower[k];
        if (frames <= learningFrames) {
            // Mean of the first frames, as if they held noise only; an
            // overestimate from early speech is shed within a few frames.
            noise += (power - noise) / static_cast<float>(frames);
            gainPresence[k] = 0;
            continue;
        }
        const float snr = power / std::max(noise, 1e-20f);
        float p = speechPresence(snr, trackerPriorSnr);
        gainPresence[k] = speechPresence(snr, gainPriorSnr);
        presence[k] = presenceSmoothing * presence[k] + (1 - presenceSmoothing) * p;
        if (presence[k] > 0.99f) p = std::min(p, 0.99f);  // never stuck on "speech"
        noise = noiseSmoothing * noise + (1 - noiseSmoothing) * ((1 - p) * power + p * noise);
    }
    for (int k = 0; k < bins; ++k) {
        float& re = spectrum[2 * k + 1];
        float& im = spectrum[2 * k + 2];
        const float power = re * re + im * im, noise = std::max(noisePower[k], 1e-20f);
        const float gamma = std::min(power / noise, 1e4f);
        const float xi = std::max(
            decisionDirected * previousCleanPower[k] / noise + (1 - decisionDirected) * std::max(gamma - 1, 0.0f),
            1e-3f);
        // Where speech is probably absent the gain goes to the floor: that
        // keeps lone noise peaks from ringing as musical tones in the pauses.
        const float q = gainPresence[k];
        const float lsa = std::clamp(logSpectralAmplitudeGain(xi, gamma), gainFloor, 1.0f);
        const float g = std::pow(lsa, q) * std::pow(gainFloor, 1 - q);
        previousCleanPower[k] = g * g * power;
        re *= g;
        im *= g;
        if (k > 0 && k < n / 2) {  // the mirror bin of a real signal
            spectrum[2 * (n - k) + 1] *= g;
            spectrum[2 * (n - k) + 2] *= g;
        }
    }
    fftInverse(spectrum, n);
    const float scale = 1.0f / static_cast<float>(n);
    for (int i = 0; i < n; ++i) overlap[i] += spectrum[2 * i + 1] * scale * window[i];
}

float SpectralNoiseReduction::step(float x, int strength, int sampleRate) noexcept {
    if (sampleRate != rate) setup(sampleRate);
    const int hop = frameLength / 2;
    const float y = ready[hopFill];
    input[hop + hopFill] = x;
    if (++hopFill == hop) {
        hopFill = 0;
        processFrame(gainFloorFor(strength));
        std::memcpy(ready, overlap, sizeof(float) * static_cast<size_t>(hop));
        std::memmove(overlap, overlap + hop, sizeof(float) * static_cast<size_t>(hop));
        std::memset(overlap + hop, 0, sizeof(float) * static_cast<size_t>(hop));
        std::memmove(input, input + hop, sizeof(float) * static_cast<size_t>(hop));
    }
    return y;
}

}  // namespace tolvek
