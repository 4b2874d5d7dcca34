// The offline tool's output: the engine's samples, converted to the output
// rate, written to both channels of a WAV (RF64 beyond 4 GiB) in the chosen
// sample format, to a file or as a stream.
#pragma once

#include <sndfile.h>

#include <string>
#include <vector>

#include "offline_input.h"
#include "offline_options.h"
#include "output_target.h"
#include "resampler.h"

namespace tolvek {

class OutputWriter {
  public:
    // `engineLength`: samples the engine will hand over in all, -1 if unknown.
    OutputWriter(OutputTarget& target, int engineRate, int outputRate, OfflineOptions::Format format,
                 long long engineLength);

    bool open(std::string& error);

    // Takes `count` samples at the engine's rate.
    bool write(const float* samples, size_t count, std::string& error);

    // Writes the rest for `engineTotal` samples handed over and closes the file.
    bool finish(long long engineTotal, std::string& error);

  private:
    bool writeFrames(std::string& error);

    OutputTarget& target;
    int outputRate;
    int subtype;
    long long plannedFrames;  // at the output rate; -1 if unknown
    Resampler toOutput;
    SndFilePtr file;
    std::vector<float> converted;  // at the output rate, not yet written
    std::vector<float> stereo;
    long long framesWritten = 0;
    long long frameLimit = -1;  // once the total is known
};

}  // namespace tolvek
