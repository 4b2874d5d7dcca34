// Settings written by the message thread and read by the audio callback.
// Every field is a 32-bit atomic: the window writes, the callback reads at
// its next sample or block. Plain values use relaxed ordering; see the
// comments where a store publishes other data.
#pragma once

#include <atomic>
#include <cstdint>

#include "conversions.h"

namespace tolvek {

// Toggle rule of every switch: 1 becomes 0, any other value becomes 1.
inline void toggleSwitch(std::atomic<int32_t>& s) {
    s.store(s.load(std::memory_order_relaxed) == 1 ? 0 : 1, std::memory_order_relaxed);
}

// Position units: 44100/512 units span one bin of the 4096-point FFT.
constexpr double positionUnitsPerBin = 44100.0 / 512.0;

// The FFT bin, i.e. the graph column right of the spectrum's left edge, at
// which a position is drawn and grabbed: trunc(v * 512 / 44100 + 0.5),
// clamped so NaN and huge values land far off the picture.
inline int positionToBin(float position) noexcept {
    return truncPixel(static_cast<double>(position) * 512.0 / 44100.0 + 0.5);
}

// The stream rates the engine runs at.
inline bool isEngineRate(int rate) { return rate == 5512 || rate == 11025 || rate == 22050 || rate == 44100; }

// A position's frequency as shown to the user, and back.
inline double positionToHz(double position, int sampleRate) { return position * 0.0625 * sampleRate / 22050; }
inline double hzToPosition(double hz, int sampleRate) { return hz * 16 * 22050 / sampleRate; }

// The comb filter's period for each mains frequency; 60 Hz is 16.66 ms, as
// the comb has always been tuned, not 1000/60.
constexpr float mains50PeriodMs = 20.0f;
constexpr float mains60PeriodMs = 16.66f;

struct ProcessingSettings {
    std::atomic<int32_t> noiseTestOn{0};               // tested != 0
    std::atomic<int32_t> inputLevel{90};               // 0..100, gain ((100 - v) * 0.01)^3.16
    std::atomic<int32_t> combOn{0};                    // tested != 0
    std::atomic<float> combPeriodMs{mains50PeriodMs};  // mains50PeriodMs or mains60PeriodMs
    std::atomic<int32_t> comb50Hz{1};
    std::atomic<int32_t> comb60Hz{0};
    std::atomic<int32_t> blankerOn{0};
    std::atomic<int32_t> blankerThreshold{55};  // 1..100
    std::atomic<int32_t> lmsOn{0};              // stored with release after an LMS reset request
    std::atomic<int32_t> lmsStrength{200};      // taps, 1..3000
    std::atomic<int32_t> agcOn{1};              // tested != 0
    std::atomic<int32_t> agcFast{0};
    std::atomic<int32_t> passOn{0};
    std::atomic<int32_t> rejectOn{0};
    std::atomic<int32_t> passAllOn{1};         // not read by the engine
    std::atomic<float> lowerCutoff{16500.0f};  // position units
    std::atomic<float> upperCutoff{32500.0f};  // position units
    std::atomic<float> notch1Freq{13000.0f};   // position units
    std::atomic<float> notch2Freq{15000.0f};
    std::atomic<float> notch3Freq{19000.0f};
    std::atomic<float> notch4Freq{22000.0f};
    std::atomic<int32_t> notch1On{0};
    std::atomic<int32_t> notch2On{0};
    std::atomic<int32_t> notch3On{0};
    std::atomic<int32_t> notch4On{0};
    std::atomic<int32_t> pausedOn{0};
    std::atomic<int32_t> viewFast{0};
    std::atomic<int32_t> outputLevel{100};   // 0..200, gain 1 - v/200
    std::atomic<int32_t> cpuLoadShown{0};    // tested != 0
    std::atomic<int32_t> recordingOn{0};     // stored with release once the recorder is ready
    std::atomic<int32_t> sampleRate{22050};  // Hz: 5512, 11025, 22050 or 44100
    std::atomic<int32_t> autoNotchOn{0};
    std::atomic<int32_t> spectralNrOn{0};
    std::atomic<int32_t> spectralNrStrength{50};  // 0..100, gain floor -0.5 dB per step

    // The four notches by index 0..3, for loops over them.
    std::atomic<float>& notchFreq(int i) {
        std::atomic<float>* f[4] = {&notch1Freq, &notch2Freq, &notch3Freq, &notch4Freq};
        return *f[i];
    }
    std::atomic<int32_t>& notchOn(int i) {
        std::atomic<int32_t>* f[4] = {&notch1On, &notch2On, &notch3On, &notch4On};
        return *f[i];
    }
};

// Relaxed load/store shorthands for settings and shared values.
template <typename T>
inline T get(const std::atomic<T>& a) {
    return a.load(std::memory_order_relaxed);
}
template <typename T>
inline void put(std::atomic<T>& a, T v) {
    a.store(v, std::memory_order_relaxed);
}

}  // namespace tolvek
