// The offline tool's input: a sound file (or standard input) opened with
// libsndfile and checked, and the read loop that hands the engine one
// channel at the engine's rate, block by block.
#pragma once

#include <sndfile.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "resampler.h"

namespace tolvek {

// 60 dB over full scale: headroom for any real overshoot, far below where the
// engine's float arithmetic overflows.
constexpr float maxSampleMagnitude = 1000.0f;

// Input rates taken: from below the engine's lowest to beyond any recorder's.
constexpr int minInputRate = 1000, maxInputRate = 768000;

struct SndFileCloser {
    void operator()(SNDFILE* f) const { sf_close(f); }
};
using SndFilePtr = std::unique_ptr<SNDFILE, SndFileCloser>;

struct InputFile {
    std::string path;
    SndFilePtr file;
    SF_INFO info{};
    int channel = 0;            // the one used, from 0
    bool lengthKnown = true;    // false for a stream whose header promises no length
    std::vector<float> frames;  // one block of interleaved file frames
    sf_count_t framesRead = 0;
};

// Opens `path` ("-" = standard input) and checks its rate, channel count
// (`channel`, from 1, must exist), length and data chunk; on failure returns
// nullopt and sets `error` to a one-line message.
std::optional<InputFile> openInput(const std::string& path, int channel, std::string& error);

// The smallest engine rate whose band holds all of `inputRate`'s; 44100 above.
int engineRateFor(int inputRate);

// Reads up to `count` frames (at most one block) and puts the used channel
// into `out`, `count` samples `stride` floats apart; returns the frames read,
// or -1 with `error` set when the audio data is unreadable or holds a sample
// beyond maxSampleMagnitude (NaN and infinities included).
long readChannel(InputFile& in, float* out, int count, int stride, std::string& error);

// After the last read: false, with `error` set, when fewer frames could be
// read than the header promised.
bool checkAllRead(const InputFile& in, std::string& error);

// The tool's read loop: the used channel converted to the engine's rate.
class EngineRateReader {
  public:
    EngineRateReader(InputFile& in, int engineRate);

    // Puts the next block of samples at the engine's rate into `block`,
    // `stride` floats apart: blockLength of them until the input ends, then
    // fewer (once), then none. -1 with `error` set on bad input data.
    long next(float* block, int stride, std::string& error);

    // Samples at the engine's rate the whole input gives; -1 while unknown.
    long long engineLength() const;

  private:
    InputFile& in;
    Resampler toEngine;
    std::vector<float> piece;  // one read at the input's rate
    std::vector<float> ready;  // converted, from readyAt on not yet handed out
    size_t readyAt = 0;
    bool ended = false;  // input read to its end
    long long handedOut = 0;
};

}  // namespace tolvek
