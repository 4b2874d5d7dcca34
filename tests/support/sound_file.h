// Sound files as any WAV reader sees them, through libsndfile.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace tolvek::test {

struct Sound {
    bool opened = false;
    int rate = 0, channels = 0;
    long headerFrames = 0;       // what the header announces
    std::vector<float> samples;  // interleaved, full scale = 1
    long frames() const { return channels ? long(samples.size()) / channels : 0; }
    float at(long frame, int channel = 0) const { return samples[size_t(frame * channels + channel)]; }
};

// Reads the whole file; `opened` false when libsndfile refuses it.
Sound readSound(const std::string& path);

// Hands the frames to `piece` a piece at a time, so an hour's file needs
// little memory; `samples` stays empty and `headerFrames` counts the file.
// Returns the frames read, or -1 on a read error.
long scanSound(const std::string& path, Sound& info, const std::function<void(const float*, long frames)>& piece);

// A file of interleaved samples in libsndfile's `format`; 0: a 32-bit float WAV.
bool writeSound(const std::string& path, const std::vector<float>& samples, int rate, int channels = 1, int format = 0);

}  // namespace tolvek::test
