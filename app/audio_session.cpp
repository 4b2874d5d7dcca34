#include "audio_session.h"

#include <cstdio>

#include "wav_recorder.h"

namespace tolvek {

AudioSession::AudioSession(Engine& e, WavRecorder& r) : engine(e), recorder(r) { state.engine = &engine; }

// A stream runs at `rate`: the comb follows it, the watchdog watches it, and
// the terminal is told in one line.
bool AudioSession::begin(int rate, int64_t nowMs) {
    ranAt = rate;
    put(engine.settings.sampleRate, static_cast<int32_t>(rate));
    engine.comb.requestSetup(get(engine.settings.combPeriodMs), rate);
    watchdog.restart(state.blocks.load(std::memory_order_relaxed), nowMs, rate);
    std::printf("Tolvek Filter: %s at %d Hz, latency %.0f ms in, %.0f ms out\n", state.devices.c_str(), rate,
                state.inputLatency * 1000, state.outputLatency * 1000);
    std::fflush(stdout);
    return true;
}

StreamOutcome AudioSession::start(int64_t nowMs, unsigned pauseMs) {
    const int rate = get(engine.settings.sampleRate);
    const StreamOutcome out = restartAudioStream(state, rate, pauseMs);
    if (out.ok) begin(rate, nowMs);
    return out;
}

AudioSession::RateChange AudioSession::changeRate(int rate, int64_t nowMs, unsigned pauseMs) {
    RateChange change;
    watchdog.disarm();
    const int fallback = ranAt ? ranAt : get(engine.settings.sampleRate);
    // Opened first: a refused rate leaves the recording's file alone. Every
    // block of the old rate is in the file before it is completed, as the
    // old stream has stopped.
    StreamOutcome out = openAudioStream(state, rate, pauseMs);
    if (out.ok && recorder.recording() && rate != fallback) {
        const OutputResult r = recorder.restartAtRate(rate);
        if (r.ok())
            change.newFile = recorder.path();
        else
            change.recorderError = r.error;
    }
    if (out.ok) out = startAudioStream(state);
    if (out.ok) {
        change.accepted = begin(rate, nowMs);
        return change;
    }
    change.refusal = out.errorText;
    if (!change.newFile.empty()) {
        // Opened but did not start: the file begun for it has no samples.
        recorder.restartAtRate(fallback);
        std::remove(change.newFile.c_str());
        change.newFile.clear();
    }
    out = restartAudioStream(state, fallback, 0);
    if (out.ok) {
        begin(fallback, nowMs);
    } else {
        put(engine.settings.sampleRate, static_cast<int32_t>(fallback));
        change.failure = out.errorText;
        recorder.stopRecording();
    }
    return change;
}

AudioSession::Loss AudioSession::poll(int64_t nowMs) {
    Loss loss;
    if (!watchdog.lost(state.blocks.load(std::memory_order_relaxed), nowMs)) return loss;
    loss.lost = true;
    loss.silenceMs = watchdog.silenceMs();
    abandonAudioStream(state);  // nothing more enters the record ring
    if (recorder.recording()) {
        recorder.stopRecording();
        loss.completedFile = recorder.path();
    }
    return loss;
}

void AudioSession::close() {
    watchdog.disarm();
    // The recording is completed first: closing the library can end the
    // process when the server has just gone (libjack), and the file must
    // not depend on it. The ring refuses blocks once the recording stops.
    recorder.stopRecording();
    closeAudioStream(state);
}

}  // namespace tolvek
