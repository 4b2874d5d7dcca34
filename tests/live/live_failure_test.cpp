// Failures of the stream layer on PortAudio's real default devices: no
// device at start-up, and a restart at a rate the device refuses.
#include <gtest/gtest.h>
#include <portaudio.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "audio_stream.h"
#include "virtual_device.h"  // tests/support

namespace tolvek::live {
namespace {

using Clock = std::chrono::steady_clock;

// Whether `text` is what the library says for some error code (its own
// message, with what is missing after it, or the host error the stream
// layer reports instead).
bool isLibraryText(const std::string& text) {
    if (text.rfind("Host error", 0) == 0) return true;
    for (PaError e = paNotInitialized; e <= paNotInitialized + 40; ++e)
        if (text.rfind(Pa_GetErrorText(e), 0) == 0) return true;
    return false;
}

void expectNothingLeft(const AudioStreamState& s) {
    EXPECT_EQ(s.audioStream, nullptr);
    EXPECT_FALSE(s.libraryInitialised);
    EXPECT_EQ(s.runningRate, 0);
    EXPECT_EQ(Pa_GetDeviceCount(), paNotInitialized) << "the library is still initialised";
}

bool callbacksArrive(const AudioStreamState& s, uint32_t more) {
    const uint32_t target = s.callbacks.load() + more;
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    while (s.callbacks.load() < target && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return s.callbacks.load() >= target;
}

// No JACK server, then a server whose capture ports do not exist: the
// library's own text, then a host error.
TEST(LiveStreamFailure, StartUpFailsWithTheLibrarysTextAndLeavesNothing) {
    for (const bool withServer : {false, true}) {
        SCOPED_TRACE(withServer);
        test::VirtualDevice device;
        if (withServer)
            ASSERT_TRUE(device.start({22050, "", "", 0}));
        else
            setenv("JACK_DEFAULT_SERVER", ("tolvek-nobody-" + std::to_string(getpid())).c_str(), 1);
        const std::string capture = withServer ? "nobody:out" : "system:capture";
        std::ofstream(device.path("broken.conf")) << "pcm.!default { type jack playback_ports { 0 system:playback_1 "
                                                     "1 system:playback_2 } capture_ports { 0 "
                                                  << capture << "_1 1 " << capture << "_2 } }\n";
        setenv("ALSA_CONFIG_PATH", ("/usr/share/alsa/alsa.conf:" + device.path("broken.conf")).c_str(), 1);
        setenv("JACK_NO_START_SERVER", "1", 1);
        Engine engine;
        AudioStreamState state;
        state.engine = &engine;
        const StreamOutcome r = restartAudioStream(state, 22050, 0);
        std::printf("start-up failure: \"%s\"\n", r.errorText.c_str());
        EXPECT_FALSE(r.ok);
        EXPECT_TRUE(isLibraryText(r.errorText)) << r.errorText;
        expectNothingLeft(state);
        EXPECT_EQ(state.callbacks.load(), 0u);
    }
}

TEST(LiveStreamRestart, RefusedRateFailsWithTextAndTheOldRateReopens) {
    test::VirtualDevice device;
    ASSERT_TRUE(device.start({22050, "", "", 0}));
    Engine engine;
    AudioStreamState state;
    state.engine = &engine;
    ASSERT_TRUE(restartAudioStream(state, 22050, 0).ok);
    ASSERT_TRUE(callbacksArrive(state, 3));

    StreamOutcome r = restartAudioStream(state, 44100, 0);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.errorText, Pa_GetErrorText(paInvalidSampleRate));
    expectNothingLeft(state);

    // Reopening keeps the engine's counts running on, after the full pause.
    const uint32_t blocksBefore = engine.shared.blocksDone.load();
    const auto t = Clock::now();
    r = restartAudioStream(state, 22050);
    EXPECT_GE(Clock::now() - t, std::chrono::milliseconds(restartPauseMs));
    ASSERT_TRUE(r.ok) << r.errorText;
    EXPECT_EQ(state.runningRate, 22050);
    EXPECT_TRUE(callbacksArrive(state, 3));
    closeAudioStream(state);
    EXPECT_GE(engine.shared.blocksDone.load(), blocksBefore + 3);
    expectNothingLeft(state);
    EXPECT_EQ(state.flags(), 0u);
}

}  // namespace
}  // namespace tolvek::live
