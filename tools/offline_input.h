// The offline tool's input: a sound file opened with libsndfile and checked
// for what the engine takes, then read block by block.
#pragma once

#include <sndfile.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tolvek {

// 60 dB over full scale: headroom for any real overshoot, far below where the
// engine's float arithmetic overflows.
constexpr float maxSampleMagnitude = 1000.0f;

struct SndFileCloser {
    void operator()(SNDFILE* f) const { sf_close(f); }
};
using SndFilePtr = std::unique_ptr<SNDFILE, SndFileCloser>;

struct InputFile {
    std::string path;
    SndFilePtr file;
    SF_INFO info{};
    std::vector<float> frames;  // one block of interleaved file frames
    sf_count_t framesRead = 0;
};

// Opens `path` and checks its rate, channel count, length and data chunk;
// on failure returns nullopt and sets `error` to a one-line message.
std::optional<InputFile> openInput(const std::string& path, std::string& error);

// Reads up to `count` frames (at most one block) and puts their first channel
// into `left`, which holds `count` samples `stride` floats apart; returns the
// frames read, or -1 with `error` set when the audio data is unreadable or
// holds a sample beyond maxSampleMagnitude (NaN and infinities included).
long readLeftChannel(InputFile& in, float* left, int count, int stride, std::string& error);

// After the last read: false, with `error` set, when fewer frames could be
// read than the header promised.
bool checkAllRead(const InputFile& in, std::string& error);

}  // namespace tolvek
