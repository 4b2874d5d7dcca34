// Test signals for the live tests: stereo float WAV files of a tone.
#pragma once

#include <string>

#include "sound_file.h"

namespace tolvek::test {

// Left channel: a tone of `amplitude` at `cyclesPerSample`; right channel: a
// tone of `rightAmplitude` at `rightCyclesPerSample`, which the engine must
// ignore.
bool writeStereoToneWav(const std::string& path, int rate, double seconds, double amplitude, double cyclesPerSample,
                        double rightAmplitude, double rightCyclesPerSample);

}  // namespace tolvek::test
