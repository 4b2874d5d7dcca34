// The sound of one run, without a window: the stream, the recording it feeds
// across restarts, the watchdog on the device, and the choice of a rate with
// its way back to the last rate that ran. The main window calls it and shows
// what it reports; the tests drive it directly.
#pragma once

#include <cstdint>
#include <string>

#include "audio_stream.h"
#include "device_watchdog.h"

namespace tolvek {

class WavRecorder;

class AudioSession {
  public:
    AudioSession(Engine& engine, WavRecorder& recorder);
    ~AudioSession() { close(); }
    AudioSession(const AudioSession&) = delete;
    AudioSession& operator=(const AudioSession&) = delete;

    // Starts the stream at the engine's `sampleRate`; `nowMs` is a steady clock.
    StreamOutcome start(int64_t nowMs, unsigned pauseMs = restartPauseMs);

    struct RateChange {
        bool accepted = false;  // runs at the chosen rate
        std::string refusal;    // why the chosen rate did not run; the last rate that ran runs again
        std::string failure;    // not even that rate runs: the program ends
        std::string newFile;    // a recording now continues in this file, begun at the new rate
        std::string recorderError;
    };
    // Restarts the stream at `rate` (the whole restart, with its pause, even
    // at the rate in force). A recording keeps its file unless the rate
    // really changes; a refused rate leaves the last rate that ran, the
    // recording's file included.
    RateChange changeRate(int rate, int64_t nowMs, unsigned pauseMs = restartPauseMs);

    struct Loss {
        bool lost = false;
        int64_t silenceMs = 0;
        std::string completedFile;  // the recording that was running, now complete
    };
    // For the window's poll: reports once that the device has fallen silent,
    // after abandoning the stream and completing the recording.
    Loss poll(int64_t nowMs);

    // Stops the stream, then completes the recording.
    void close();

    const AudioStreamState& stream() const { return state; }
    int lastRate() const { return ranAt; }  // rate of the last stream that ran, 0 before any

  private:
    bool begin(int rate, int64_t nowMs);

    Engine& engine;
    WavRecorder& recorder;
    AudioStreamState state;
    DeviceWatchdog watchdog;
    int ranAt = 0;
};

}  // namespace tolvek
