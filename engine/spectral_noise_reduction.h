// Spectral noise reduction for speech: a short-time spectral estimator of the
// speech in stationary or slowly changing noise.
//
// The signal is cut into frames of about 46 ms (half overlapping, square-root
// Hann windows at both ends, so unit gains give the input back delayed by one
// frame). Per bin the noise power is tracked by the speech-presence
// probability method (each frame moves the estimate towards the frame's power
// as far as the bin probably holds no speech), the a-priori SNR follows the
// decision-directed rule, and the bin is scaled by the log-spectral amplitude
// estimator's gain, held above a floor that the strength sets, and drawn
// towards that floor as far as the bin probably holds no speech.
#pragma once

namespace tolvek {

struct SpectralNoiseReduction {
    static constexpr int maxFrame = 2048;  // frame length at 44100 Hz
    static constexpr int maxBins = maxFrame / 2 + 1;
    static constexpr int defaultStrength = 50;  // gain floor -25 dB

    int rate = 0;                            // stream rate of the set-up, Hz
    int frameLength = 0;                     // samples, 256 at 5512 Hz .. 2048 at 44100 Hz
    float window[maxFrame] = {};             // square-root Hann (periodic)
    float input[maxFrame] = {};              // the last frameLength inputs, oldest first
    float overlap[maxFrame] = {};            // windowed output still to be added, engine units
    float ready[maxFrame / 2] = {};          // finished output of the last hop
    int hopFill = 0;                         // samples taken in this hop
    float spectrum[2 * maxFrame + 1] = {};   // FFT work area, floats 1..2n
    float noisePower[maxBins] = {};          // per bin, engine units squared x frame scale
    float gainPresence[maxBins] = {};        // this frame's speech-presence probability for the gain
    float presence[maxBins] = {};            // smoothed speech-presence probability, 0..1
    float previousCleanPower[maxBins] = {};  // last frame's estimated speech power per bin
    int frames = 0;                          // frames analysed since the last reset

    void setup(int sampleRate) noexcept;
    void reset() noexcept;
    // One sample in engine units at `strength` 0..100 (0 passes the input,
    // delayed); re-runs the set-up when the rate changed.
    float step(float x, int strength, int sampleRate) noexcept;

    // The gain floor: -0.5 dB per step of strength, so -25 dB at the default.
    static float gainFloorFor(int strength) noexcept;

  private:
    void processFrame(float gainFloor) noexcept;
};

// Log-spectral amplitude gain for a-priori SNR xi and a-posteriori SNR gamma.
float logSpectralAmplitudeGain(float xi, float gamma) noexcept;

}  // namespace tolvek
