#include "audio_stream.h"

#include <portaudio.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

#include "library_messages.h"
#include "realtime_guard.h"

namespace tolvek {

// The server hands over buffers of its own size; the engine runs whole
// blocks. Each buffer's input goes into the block being gathered, and its
// output plays the same stretch of the block finished before: one block of
// delay, every frame carried exactly once whatever the buffer sizes.
static int audioCallback(const void* input, void* output, unsigned long frames, const PaStreamCallbackTimeInfo*,
                         PaStreamCallbackFlags flags, void* userData) {
    auto* state = static_cast<AudioStreamState*>(userData);
    [[maybe_unused]] RealtimeGuard guard;
    disableDenormals();
    noteAudioThread();
    auto* out = static_cast<float*>(output);
    // Until the first buffer comes without a status flag, the server is
    // still filling its buffers at start-up and the input is no sound yet:
    // silence plays, nothing is gathered, and nothing is lost.
    if (flags == 0) state->flowing = true;
    if (!state->flowing) {
        std::memset(out, 0, 2 * frames * sizeof(float));
        return paContinue;
    }
    Engine& engine = *state->engine;
    const auto* in = static_cast<const float*>(input);
    for (unsigned long done = 0; done < frames;) {
        const int fill = state->blockFill;
        const unsigned long n = std::min(frames - done, static_cast<unsigned long>(blockLength - fill));
        const size_t bytes = 2 * n * sizeof(float);
        if (in)
            std::memcpy(state->inputBlock + 2 * fill, in + 2 * done, bytes);
        else
            std::memset(state->inputBlock + 2 * fill, 0, bytes);
        std::memcpy(out + 2 * done, state->outputBlock + 2 * fill, bytes);
        done += n;
        state->blockFill = fill + static_cast<int>(n);
        if (state->blockFill < blockLength) continue;
        state->blockFill = 0;
        const ProcessResult r = engine.process(state->inputBlock, state->outputBlock, blockLength);
        if (!r.paused && get(engine.settings.cpuLoadShown) != 0)
            put(engine.shared.cpuLoad, static_cast<float>(Pa_GetStreamCpuLoad(state->audioStream)));
        state->blocks.fetch_add(1, std::memory_order_relaxed);
    }
    if (flags != 0) {
        constexpr auto relaxed = std::memory_order_relaxed;
        if (flags & paInputUnderflow) state->inputUnderflows.fetch_add(1, relaxed);
        if (flags & paInputOverflow) state->inputOverflows.fetch_add(1, relaxed);
        if (flags & paOutputUnderflow) state->outputUnderflows.fetch_add(1, relaxed);
        if (flags & paOutputOverflow) state->outputOverflows.fetch_add(1, relaxed);
        engine.shared.dropouts.fetch_add(1, relaxed);
    }
    return paContinue;
}

uint32_t AudioStreamState::flags() const {
    return inputUnderflows.load() + inputOverflows.load() + outputUnderflows.load() + outputOverflows.load();
}

// The default device of one direction, 2 channels of float32, with
// `streamLatencyBlocks` blocks of suggested latency; false when there is none.
static bool defaultDevice(PaDeviceIndex device, int rate, PaStreamParameters& p) {
    p = {device, 2, paFloat32, double(streamLatencyBlocks) * blockLength / rate, nullptr};
    return device != paNoDevice;
}

// The library's probing of ALSA devices and JACK servers writes dozens of
// lines to stderr on a machine without those; this keeps them off the
// terminal for the length of one library call. Errors come back as codes.
class QuietStderr {
  public:
    QuietStderr() : saved(::dup(STDERR_FILENO)) {
        const int null = ::open("/dev/null", O_WRONLY);
        if (saved >= 0 && null >= 0) ::dup2(null, STDERR_FILENO);
        if (null >= 0) ::close(null);
    }
    ~QuietStderr() {
        if (saved < 0) return;
        ::dup2(saved, STDERR_FILENO);
        ::close(saved);
    }
    QuietStderr(const QuietStderr&) = delete;
    QuietStderr& operator=(const QuietStderr&) = delete;

  private:
    int saved;
};

static void stopAndClose(AudioStreamState& state);

// Leaves nothing open or initialised and reports `text`.
static StreamOutcome failed(AudioStreamState& state, std::string text) {
    stopAndClose(state);
    return {false, std::move(text)};
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
    QuietStderr quiet;
    if (state.audioStream) {
        // Once returned, the callback has run for the last time.
        Pa_StopStream(state.audioStream);
        Pa_CloseStream(state.audioStream);
        state.audioStream = nullptr;
        state.runningRate = 0;
    }
    if (state.libraryInitialised && !state.deviceLost && !state.libraryPinned) {
        Pa_Terminate();
        state.libraryInitialised = false;
    }
}

// Whether the abandoned stream has closed, given a little time: on most
// servers the close takes a few milliseconds, and a user picks a rate later.
static bool lostStreamClosed(const AudioStreamState& state) {
    if (!state.abandonedClosed) return true;
    for (int i = 0; i < 50 && !state.abandonedClosed->load(std::memory_order_acquire); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return state.abandonedClosed->load(std::memory_order_acquire);
}

StreamOutcome openAudioStream(AudioStreamState& state, int rate, unsigned pauseMs) {
    filterLibraryMessages();
    stopAndClose(state);
    if (pauseMs) Pa_Sleep(static_cast<long>(pauseMs));
    if (state.deviceLost) {
        // The library learns the devices afresh, the server that came back
        // among them. Not while the lost stream is still being closed (the
        // library would close it a second time), nor when it holds a client
        // of a JACK server that has gone: closing that client fails an
        // assertion in the library. The default devices are found again
        // through ALSA all the same.
        state.libraryPinned =
            state.libraryPinned || !lostStreamClosed(state) || Pa_HostApiTypeIdToHostApiIndex(paJACK) >= 0;
        state.deviceLost = false;
        QuietStderr quiet;
        if (!state.libraryPinned) {
            Pa_Terminate();
            state.libraryInitialised = false;
        }
    }

    QuietStderr quiet;
    PaError err = state.libraryInitialised ? paNoError : Pa_Initialize();
    state.libraryInitialised = err == paNoError;
    PaStreamParameters in{}, out{};
    if (err == paNoError && !defaultDevice(Pa_GetDefaultInputDevice(), rate, in))
        return failed(state, std::string(Pa_GetErrorText(paDeviceUnavailable)) + ": there is no sound input.");
    if (err == paNoError && !defaultDevice(Pa_GetDefaultOutputDevice(), rate, out))
        return failed(state, std::string(Pa_GetErrorText(paDeviceUnavailable)) + ": there is no sound output.");
    state.blockFill = 0;
    std::fill(std::begin(state.outputBlock), std::end(state.outputBlock), 0.0f);
    state.flowing = false;
    if (err == paNoError)
        err = Pa_OpenStream(&state.audioStream, &in, &out, static_cast<double>(rate), paFramesPerBufferUnspecified,
                            paNoFlag, audioCallback, &state);
    if (err != paNoError) {
        state.audioStream = nullptr;
        return failed(state, errorTextFor(err));
    }
    state.runningRate = rate;
    const PaStreamInfo* info = Pa_GetStreamInfo(state.audioStream);
    state.inputLatency = info ? info->inputLatency : 0.0;
    state.outputLatency = (info ? info->outputLatency : 0.0) + double(blockLength) / rate;
    const PaDeviceInfo* inInfo = Pa_GetDeviceInfo(in.device);
    const PaDeviceInfo* outInfo = Pa_GetDeviceInfo(out.device);
    state.devices = std::string(inInfo ? inInfo->name : "?") + " / " + (outInfo ? outInfo->name : "?");
    return {};
}

StreamOutcome startAudioStream(AudioStreamState& state) {
    QuietStderr quiet;
    const PaError err = state.audioStream ? Pa_StartStream(state.audioStream) : paBadStreamPtr;
    return err == paNoError ? StreamOutcome{} : failed(state, errorTextFor(err));
}

StreamOutcome restartAudioStream(AudioStreamState& state, int rate, unsigned pauseMs) {
    const StreamOutcome opened = openAudioStream(state, rate, pauseMs);
    return opened.ok ? startAudioStream(state) : opened;
}

void closeAudioStream(AudioStreamState& state) { stopAndClose(state); }

void abandonAudioStream(AudioStreamState& state) {
    state.deviceLost = true;
    if (state.audioStream) {
        auto closed = std::make_shared<std::atomic<bool>>(false);
        state.abandonedClosed = closed;
        std::thread([stream = state.audioStream, closed, thread = audioThread()] {
            markLostAudioThread(thread);  // should it be caught in the library's error loop
            Pa_AbortStream(stream);
            markLostAudioThread(0);
            Pa_CloseStream(stream);
            closed->store(true, std::memory_order_release);
        }).detach();
        state.audioStream = nullptr;
        state.runningRate = 0;
    }
}

}  // namespace tolvek
