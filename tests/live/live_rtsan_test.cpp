// The audio callback on a live stream, linked with clang's RealtimeSanitizer
// runtime: the stream layer marks each callback a real-time context, and any
// allocation, lock or blocking system call inside it ends this process with
// a report. Every stage and switch is exercised while the stream runs.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "audio_stream.h"
#include "realtime_guard.h"
#include "tone.h"
#include "virtual_device.h"  // tests/support

namespace tolvek::test {
namespace {

using Clock = std::chrono::steady_clock;

// Without this, a silent pass below could mean the runtime is not there.
TEST(LiveRealtime, RuntimeStopsAnAllocationInARealtimeContext) {
    auto allocate = [] {
        RealtimeGuard guard;
        void* volatile p = std::malloc(16);
        std::free(p);
    };
    EXPECT_DEATH(allocate(), "Real-time violation: intercepted call to real-time unsafe function `malloc`");
}

TEST(LiveRealtime, CallbackStaysRealtimeSafeThroughEverySetting) {
    constexpr int rate = 44100, runSeconds = 4;
    test::VirtualDevice device;
    ASSERT_TRUE(writeStereoToneWav(device.path("tone.wav"), rate, runSeconds + 15, 0.95, 0.0371, 0.5, 0.11));
    ASSERT_TRUE(device.start({rate, device.path("tone.wav"), "", 0}));

    Engine engine;
    ProcessingSettings& s = engine.settings;
    put(s.sampleRate, rate);
    engine.comb.requestSetup(get(s.combPeriodMs), rate);
    put(s.lmsStrength, 500);
    engine.switchLmsOn();
    for (auto* on : {&s.combOn, &s.blankerOn, &s.notchOn(0), &s.notchOn(1), &s.notchOn(2), &s.notchOn(3),
                     &s.autoNotchOn, &s.spectralNrOn, &s.cpuLoadShown})
        put(*on, 1);
    s.recordingOn.store(1, std::memory_order_release);  // nobody drains the ring: full-ring drops too
    engine.clearBuffers();

    AudioStreamState state{.engine = &engine};
    const StreamOutcome r = restartAudioStream(state, rate, 0);
    ASSERT_TRUE(r.ok) << r.errorText;

    // Each switch flips in turn, a few buffers apart, and the sliders move.
    std::atomic<int32_t>* switches[] = {&s.noiseTestOn, &s.agcOn,    &s.agcFast,     &s.passOn,
                                        &s.rejectOn,    &s.pausedOn, &s.viewFast,    &s.combOn,
                                        &s.blankerOn,   &s.notch2On, &s.autoNotchOn, &s.spectralNrOn};
    const auto end = Clock::now() + std::chrono::seconds(runSeconds);
    for (int step = 0; Clock::now() < end; ++step) {
        toggleSwitch(*switches[step % std::size(switches)]);
        put(s.inputLevel, 60 + step % 40);
        put(s.outputLevel, step % 200);
        put(s.lowerCutoff, float(10000 + 500 * (step % 20)));
        put(s.upperCutoff, float(30000 + 500 * (step % 20)));
        put(s.blankerThreshold, 1 + step % 100);
        put(s.spectralNrStrength, step % 101);
        if (step % 7 == 0) engine.switchLmsOn();
        std::this_thread::sleep_for(std::chrono::milliseconds(120));
    }
    closeAudioStream(state);

    EXPECT_GE(state.blocks.load(), uint32_t(runSeconds * rate / 2048.0 * 0.8));
    EXPECT_TRUE(engine.shared.blocksDone.load() > 0 && get(engine.shared.cpuLoad) > 0.0f);
}

}  // namespace
}  // namespace tolvek::test
