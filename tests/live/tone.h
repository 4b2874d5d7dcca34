// Test signals for the live tests: stereo float WAV files of a tone, and a least-squares fit of a tone of known
// frequency.
#pragma once

#include <string>

#include "sound_file.h"

namespace tolvek::test {

// Left channel: a tone of `amplitude` at `cyclesPerSample`; right channel: a
// tone of `rightAmplitude` at `rightCyclesPerSample`, which the engine must
// ignore.
bool writeStereoToneWav(const std::string& path, int rate, double seconds, double amplitude, double cyclesPerSample,
                        double rightAmplitude, double rightCyclesPerSample);

// a·cos + b·sin fitted to the left channel of frames [first, last).
struct ToneFit {
    double a = 0.0, b = 0.0, amplitude = 0.0;  // amplitude = sqrt(a² + b²)
};
ToneFit fitTone(const Sound& wav, long first, long last, double cyclesPerSample);

// The rms of what `fit` leaves of the left channel in frames [first, last).
double residualRms(const Sound& wav, long first, long last, double cyclesPerSample, const ToneFit& fit);

}  // namespace tolvek::test
