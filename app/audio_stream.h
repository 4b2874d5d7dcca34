// The life of the one full-duplex PortAudio stream: open on the default
// devices (2 in, 2 out, float32, 2048 frames), restart at another rate, stop
// and close. Runs on the message thread; only the callback runs on the
// library's audio thread.
//
// The stream asks for three buffers of latency each way. With the library's
// default (two buffers in all) its ALSA loop, against a sound server whose
// cycle does not divide 2048 frames (PipeWire at 48 kHz), runs the callback
// before capture has its data: a zero block flagged as input underflow, or a
// captured block dropped without a flag, about every 0.6 s.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "engine.h"

typedef void PaStream;

namespace tolvek {

struct AudioStreamState {
    Engine* engine = nullptr;
    PaStream* audioStream = nullptr;  // the open stream, or null
    bool libraryInitialised = false;  // one Pa_Initialize is outstanding
    int runningRate = 0;              // rate of the open stream, 0 when none
    bool deviceLost = false;          // abandoned; the library stays initialised until the next opening
    bool libraryPinned = false;       // initialised for the rest of the run: it holds a lost stream or JACK client
    double inputLatency = 0.0;        // seconds, as the library reports them for the open stream
    double outputLatency = 0.0;
    std::string devices;  // "input name / output name" of the open stream
    // Set once the abandoned stream is closed; null when none was abandoned.
    std::shared_ptr<std::atomic<bool>> abandonedClosed;

    // Counters for monitoring and tests, written by the callback; each
    // status flag is a buffer of input lost or of output padded.
    std::atomic<uint32_t> callbacks{0};
    std::atomic<uint32_t> inputUnderflows{0};
    std::atomic<uint32_t> inputOverflows{0};
    std::atomic<uint32_t> outputUnderflows{0};
    std::atomic<uint32_t> outputOverflows{0};
    uint32_t flags() const;  // all four added up
};

struct StreamOutcome {
    bool ok = true;
    std::string errorText;  // the library's text for the first failing step
};

constexpr int streamLatencyBuffers = 3;  // suggested latency each way, in buffers
constexpr unsigned restartPauseMs = 500;

// Stops and closes any open stream, pauses, and opens and starts a new one at
// `rate`. On failure nothing is left open or initialised.
StreamOutcome restartAudioStream(AudioStreamState& state, int rate, unsigned pauseMs = restartPauseMs);

// The two halves of a restart, for a caller that acts between the opening
// (where a device refuses a rate) and the first callback. After a device
// loss the opening initialises the library afresh, as its device list is stale.
StreamOutcome openAudioStream(AudioStreamState& state, int rate, unsigned pauseMs = restartPauseMs);
StreamOutcome startAudioStream(AudioStreamState& state);

// Stops and closes the stream, then releases the library.
void closeAudioStream(AudioStreamState& state);

// For a device that has stopped delivering blocks: forgets the stream at
// once and aborts (a stop would wait for output to drain into the dead
// device) and closes it on a thread of its own, so that a slow abort never
// holds up the window. On PipeWire through its ALSA plugin the abort would
// wait forever for the library's audio thread, caught in an error loop: it
// is ended there (library_messages.h). The library stays initialised until
// the next opening; it stays so for the rest of the run if the stream is not
// closed by then.
void abandonAudioStream(AudioStreamState& state);

}  // namespace tolvek
