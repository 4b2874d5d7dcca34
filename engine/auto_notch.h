// Automatic notch: finds steady or slowly moving tones (heterodynes,
// carriers) and removes them while leaving speech alone.
//
// A detector looks at the input's spectrum about ten times a second and
// hands every line that stands 20 dB above its surroundings for three
// looks in a row to a tracker. Each tracker is a phase-locked oscillator
// that drives two adaptive two-weight cancellers in series: each canceller
// is a notch about 16 Hz wide centred exactly on the oscillator, and the
// loop keeps the oscillator on the tone's frequency, so a gliding tone
// stays in the notch. Speech is not a steady line, so it gets no tracker;
// a speech harmonic that briefly does loses only a 16 Hz slice.
#pragma once

namespace tolvek {

struct AutoNotch {
    static constexpr int maxTrackers = 4;
    static constexpr int maxAnalysis = 8192;  // analysis length at 44100 Hz

    struct Tracker {
        bool active = false;
        double phase = 0;      // oscillator phase, radians, wrapped to +-pi
        double frequency = 0;  // radians per sample
        float w1[2] = {0, 0};  // first canceller: cos and sin weights, engine units
        float w2[2] = {0, 0};  // second canceller, on what the first leaves
        int misses = 0;        // analyses in a row without the line
    };
    struct Candidate {
        float bin = 0;  // interpolated FFT bin of the line
        int looks = 0;  // analyses in a row that saw it
    };

    int rate = 0;                              // stream rate the set-up was made for, Hz
    int analysisLength = 0;                    // FFT points, about 0.19 s at every rate
    float window[maxAnalysis] = {};            // Hann
    float history[maxAnalysis] = {};           // the last analysisLength inputs, a ring
    int historyHead = 0;                       // ring index of the oldest input
    int sinceAnalysis = 0;                     // samples since the last analysis
    float spectrum[2 * maxAnalysis + 1] = {};  // FFT work area, floats 1..2n
    float power[maxAnalysis / 2] = {};         // this analysis's power per bin
    Candidate candidates[maxTrackers * 4];
    int candidateCount = 0;
    Tracker trackers[maxTrackers];
    float stepSize = 0;           // canceller adaptation step; notch width about stepSize * rate / (2 pi) Hz
    double loopGain[2] = {0, 0};  // oscillator's proportional and integral gain, per radian of phase error

    // Sizes everything for `sampleRate`; clears the state. Obtains no memory.
    void setup(int sampleRate) noexcept;
    // Clears the trackers, the candidates and the history.
    void reset() noexcept;
    // One sample in engine units; re-runs the set-up when the rate changed.
    float step(float x, int sampleRate) noexcept;

  private:
    void analyse() noexcept;
    void startTracker(float bin) noexcept;
};

}  // namespace tolvek
