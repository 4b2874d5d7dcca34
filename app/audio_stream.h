// The life of the one full-duplex PortAudio stream: open on the default
// devices (2 in, 2 out, float32, 2048 frames), restart at another rate, stop
// and close. Runs on the message thread; only the callback runs on the
// library's audio thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "engine.h"

typedef void PaStream;

namespace tolvek {

struct AudioStreamState {
    Engine* engine = nullptr;
    PaStream* audioStream = nullptr;  // the open stream, or null
    bool libraryInitialised = false;  // one Pa_Initialize is outstanding
    int runningRate = 0;              // rate of the open stream, 0 when none
    bool deviceLost = false;          // abandoned once; the library stays initialised from then on

    // Counters for monitoring and tests, written by the callback.
    std::atomic<uint32_t> callbacks{0};
    std::atomic<uint32_t> underflows{0};
    std::atomic<uint32_t> overflows{0};
};

struct StreamOutcome {
    bool ok = true;
    std::string errorText;  // the library's text for the first failing step
};

constexpr int streamFramesPerBuffer = 2048;
constexpr unsigned restartPauseMs = 500;

// Stops and closes any open stream, pauses, and opens and starts a new one at
// `rate`. On failure nothing is left open or initialised.
StreamOutcome restartAudioStream(AudioStreamState& state, int rate, unsigned pauseMs = restartPauseMs);

// Stops and closes the stream, then releases the library.
void closeAudioStream(AudioStreamState& state);

// For a device that has stopped delivering blocks: aborts the stream (a
// stop would wait for output to drain into the dead device) and closes it.
// The library stays initialised for the rest of the run, as its clean-up
// ends the process when a sound server it was connected to has gone.
void abandonAudioStream(AudioStreamState& state);

}  // namespace tolvek
