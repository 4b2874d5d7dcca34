// The life of the one full-duplex PortAudio stream: open on the default
// devices (2 in, 2 out, float32, buffers of the server's own size), restart
// at another rate, stop and close. Runs on the message thread; only the
// callback runs on the library's audio thread.
//
// The stream takes whatever buffer size the server runs and gathers whole
// blocks for the engine, one block behind. A stream held to 2048-frame
// buffers loses or repeats a block without a flag where the server's cycle
// does not divide 2048 frames: on PulseAudio within the first second after a
// start, on PipeWire at 48 kHz about every 0.6 s unless the latency is
// three buffers or more.
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
    double inputLatency = 0.0;        // seconds, as the library reports them for the open stream,
    double outputLatency = 0.0;       // the output with the block gathered before it plays
    std::string devices;              // "input name / output name" of the open stream
    // Set once the abandoned stream is closed; null when none was abandoned.
    std::shared_ptr<std::atomic<bool>> abandonedClosed;

    // The callback's own: the block being gathered and the output of the last one.
    float inputBlock[2 * blockLength] = {};
    float outputBlock[2 * blockLength] = {};
    int blockFill = 0;     // frames in inputBlock
    bool flowing = false;  // a buffer has come without a status flag since the opening

    // Counters for monitoring and tests, written by the callback; each
    // status flag is a buffer of input lost or of output padded.
    std::atomic<uint32_t> blocks{0};  // blocks the engine has run
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

constexpr int streamLatencyBlocks = 2;  // suggested latency each way, in blocks
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
