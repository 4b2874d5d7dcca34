#include "audio_stream.h"

#include <portaudio.h>

#include "realtime_guard.h"

namespace tolvek {

static int audioCallback(const void* input, void* output, unsigned long frames, const PaStreamCallbackTimeInfo*,
                         PaStreamCallbackFlags flags, void* userData) {
    auto* state = static_cast<AudioStreamState*>(userData);
    [[maybe_unused]] RealtimeGuard guard;
    disableDenormals();
    Engine& engine = *state->engine;
    const ProcessResult r = engine.process(static_cast<const float*>(input), static_cast<float*>(output), frames);
    if (input != nullptr && !r.paused && get(engine.settings.cpuLoadShown) != 0)
        put(engine.shared.cpuLoad, static_cast<float>(Pa_GetStreamCpuLoad(state->audioStream)));
    if (flags & paOutputUnderflow) state->underflows.fetch_add(1, std::memory_order_relaxed);
    if (flags & paInputOverflow) state->overflows.fetch_add(1, std::memory_order_relaxed);
    state->callbacks.fetch_add(1, std::memory_order_relaxed);
    return paContinue;
}

static std::string errorTextFor(PaError err) {
    if (err == paUnanticipatedHostError) {
        const PaHostErrorInfo* info = Pa_GetLastHostErrorInfo();
        if (info && info->errorText && info->errorText[0]) return std::string("Host error: ") + info->errorText;
        return "Host error " + std::to_string(info ? info->errorCode : 0) + " from the sound system.";
    }
    return Pa_GetErrorText(err);
}

static void stopAndClose(AudioStreamState& state) {
    if (state.audioStream) {
        // Once returned, the callback has run for the last time.
        if (state.deviceLost)
            Pa_AbortStream(state.audioStream);
        else
            Pa_StopStream(state.audioStream);
        Pa_CloseStream(state.audioStream);
        state.audioStream = nullptr;
        state.runningRate = 0;
    }
    if (state.libraryInitialised && !state.deviceLost) {
        Pa_Terminate();
        state.libraryInitialised = false;
    }
}

StreamOutcome restartAudioStream(AudioStreamState& state, int rate, unsigned pauseMs) {
    stopAndClose(state);
    if (pauseMs) Pa_Sleep(static_cast<long>(pauseMs));

    PaError err = state.libraryInitialised ? paNoError : Pa_Initialize();
    if (err == paNoError) {
        state.libraryInitialised = true;
        err = Pa_OpenDefaultStream(&state.audioStream, 2, 2, paFloat32, static_cast<double>(rate),
                                   streamFramesPerBuffer, audioCallback, &state);
        if (err != paNoError) state.audioStream = nullptr;
    }
    if (err == paNoError) err = Pa_StartStream(state.audioStream);
    if (err == paNoError) {
        state.runningRate = rate;
        return {};
    }
    StreamOutcome outcome{false, errorTextFor(err)};
    stopAndClose(state);  // closes a stream that opened but did not start
    return outcome;
}

void closeAudioStream(AudioStreamState& state) { stopAndClose(state); }

void abandonAudioStream(AudioStreamState& state) {
    state.deviceLost = true;
    stopAndClose(state);
}

}  // namespace tolvek
