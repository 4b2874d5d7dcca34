// The session without a window, on a JACK device that takes 22050 Hz only:
// a refused rate goes back to the rate that ran, recording file included;
// the rate in force keeps the file; a server that goes away is noticed and
// the recording completed; once it is back, the next choice of a rate finds
// it, and a refused rate still goes back to the last rate that ran.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "audio_session.h"
#include "virtual_device.h"  // tests/support
#include "wav_recorder.h"

namespace tolvek::test {
namespace {

using Clock = std::chrono::steady_clock;

int64_t nowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch()).count();
}

bool blocksArrive(const AudioSession& s, uint32_t more) {
    const uint32_t target = s.stream().blocks.load() + more;
    for (auto end = Clock::now() + std::chrono::seconds(5); s.stream().blocks.load() < target && Clock::now() < end;)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return s.stream().blocks.load() >= target;
}

TEST(LiveSession, RefusedRateAndLostServerGoBackToTheRateThatRan) {
    test::VirtualDevice device;
    ASSERT_TRUE(device.start({.rate = 22050}));
    auto engine = std::make_unique<Engine>();
    WavRecorder recorder(engine->recordRing, engine->settings);
    AudioSession session(*engine, recorder);
    ASSERT_TRUE(session.start(nowMs(), 0).ok);
    ASSERT_TRUE(recorder.startRecording(device.path("")).ok());
    const std::string file = recorder.path();
    ASSERT_TRUE(blocksArrive(session, 3));

    for (const int rate : {44100, 22050}) {  // refused, then the rate in force
        SCOPED_TRACE(rate);
        const AudioSession::RateChange change = session.changeRate(rate, nowMs(), 0);
        EXPECT_EQ(change.accepted, rate == 22050);
        EXPECT_EQ(change.refusal.empty(), change.accepted);
        EXPECT_TRUE(change.failure.empty() && change.newFile.empty());  // the rate that runs keeps its file
        EXPECT_TRUE(session.stream().runningRate == 22050 && get(engine->settings.sampleRate) == 22050);
        EXPECT_EQ(recorder.path(), file);
        EXPECT_TRUE(blocksArrive(session, 3));
    }

    ASSERT_EQ(::kill(pid_t(device.serverPid()), SIGTERM), 0);
    AudioSession::Loss loss;
    for (auto end = Clock::now() + std::chrono::seconds(10); !loss.lost && Clock::now() < end;)
        std::this_thread::sleep_for(std::chrono::milliseconds(15)), loss = session.poll(nowMs());
    ASSERT_TRUE(loss.lost);
    EXPECT_TRUE(loss.completedFile == file && !recorder.recording());

    device.stop();
    ASSERT_TRUE(device.start({.rate = 22050}));
    const AudioSession::RateChange change = session.changeRate(44100, nowMs(), 0);
    EXPECT_FALSE(change.refusal.empty());
    ASSERT_TRUE(change.failure.empty()) << change.failure;
    EXPECT_EQ(session.stream().runningRate, 22050);
    EXPECT_TRUE(blocksArrive(session, 3)) << "no sound from the server that came back";
    session.close();
    int recordings = 0;
    for (const auto& f : std::filesystem::directory_iterator(device.path("")))
        recordings += f.path().filename().string().rfind("Wave Capture", 0) == 0;
    EXPECT_EQ(recordings, 1);
}

}  // namespace
}  // namespace tolvek::test
