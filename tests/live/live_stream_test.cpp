// The stream layer on PortAudio's real default devices, one virtual device
// per rate on the sound server named by TOLVEK_SOUND_SERVER: a tone fed into
// the default input must come out of the default output at the level the
// linear chain predicts, in phase in every half second of a minute (a lost,
// repeated or zero block shifts its phase), and drop away when a Reject band
// covers it; and no buffer may be flagged.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <numbers>
#include <thread>

#include "audio_stream.h"
#include "decibels.h"
#include "tone.h"
#include "virtual_device.h"  // tests/support

namespace tolvek::test {
namespace {

using Clock = std::chrono::steady_clock;

// a·cos + b·sin fitted to the left channel; amplitude = sqrt(a² + b²).
struct ToneFit {
    double a = 0.0, b = 0.0, amplitude = 0.0;
};

// Least squares of x ≈ a·cos + b·sin through its 2×2 normal equations.
ToneFit fitTone(const Sound& wav, long first, long last, double cyclesPerSample) {
    const double w = 2 * std::numbers::pi * cyclesPerSample;
    double cc = 0, ss = 0, cs = 0, xc = 0, xs = 0;
    for (long n = first; n < last; ++n) {
        const double c = std::cos(w * double(n)), s = std::sin(w * double(n)), x = wav.at(n, 0);
        cc += c * c, ss += s * s, cs += c * s, xc += x * c, xs += x * s;
    }
    const double det = cc * ss - cs * cs, a = (xc * ss - xs * cs) / det, b = (xs * cc - xc * cs) / det;
    return {a, b, std::hypot(a, b)};
}

double residualRms(const Sound& wav, long first, long last, double cyclesPerSample, const ToneFit& fit) {
    const double w = 2 * std::numbers::pi * cyclesPerSample;
    double sq = 0.0;
    for (long n = first; n < last; ++n) {
        const double e = wav.at(n, 0) - fit.a * std::cos(w * double(n)) - fit.b * std::sin(w * double(n));
        sq += e * e;
    }
    return std::sqrt(sq / double(last - first));
}

// Half a bin off the FFT grid, so that 2048 samples are not a whole number
// of periods and a lost or repeated buffer breaks the tone's phase. The right
// input must not come out; the Reject band spans 30 bins either side of the tone.
constexpr double toneCycles = 300.5 / 4096, rightCycles = 700.0 / 4096, toneAmplitude = 0.25, rejectSeconds = 2.0;
constexpr int inputLevel = 90, outputLevel = 190, rejectBins = 30;

// TOLVEK_LIVE_SECONDS sets the PassAll phase (default 60 s).
double passSeconds() {
    const char* s = std::getenv("TOLVEK_LIVE_SECONDS");
    return s && std::atof(s) > 0 ? std::atof(s) : 60.0;
}

// The chain with AGC, comb, blanker and LMS off is linear: the input gain
// at level 90 (0.6918), the fixed gain 8.2392, the transform's factor 4096
// and the output level.
constexpr double predictedGain = 0.6918 * 8.2392 * 4096 * (1 - outputLevel / 200.0) / 1000;

class LiveStream : public ::testing::TestWithParam<int> {};

TEST_P(LiveStream, ToneIsFilteredAsSetWithoutLostBuffers) {
    const int rate = GetParam();
    // Samples pass exactly through JACK; the other servers resample to their own rate and back.
    const bool exact = test::soundServer() == "jack";
    const double recordSeconds = passSeconds() + rejectSeconds + 4.0;  // and start-up
    test::VirtualDevice device;
    ASSERT_TRUE(writeStereoToneWav(device.path("tone.wav"), rate, recordSeconds + 10, toneAmplitude, toneCycles, 0.5,
                                   rightCycles));
    ASSERT_TRUE(device.start({rate, device.path("tone.wav"), device.path("out.wav"), recordSeconds}));

    Engine engine;
    ProcessingSettings& s = engine.settings;
    put(s.agcOn, 0);
    put(s.inputLevel, inputLevel);
    put(s.outputLevel, outputLevel);
    put(s.sampleRate, rate);
    // Band edges in the middle of the interleaved spectrum's floats that
    // belong to bins toneBin ∓ rejectBins.
    put(s.lowerCutoff, float((2 * (300 - rejectBins) + 1) * 43 + 21));
    put(s.upperCutoff, float((2 * (300 + rejectBins) + 2) * 43 + 21));
    engine.clearBuffers();

    AudioStreamState state{.engine = &engine};
    const StreamOutcome opened = restartAudioStream(state, rate, 0);
    ASSERT_TRUE(opened.ok) << opened.errorText;
    for (auto end = Clock::now() + std::chrono::seconds(5); state.blocks.load() < 2 && Clock::now() < end;)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    ASSERT_GE(state.blocks.load(), 2u);

    const auto t0 = Clock::now();
    const uint32_t c0 = state.blocks.load();
    std::this_thread::sleep_until(t0 + std::chrono::duration<double>(passSeconds()));
    const uint32_t rejectFrom = state.blocks.load();
    put(s.rejectOn, 1);
    std::this_thread::sleep_until(t0 + std::chrono::duration<double>(passSeconds() + rejectSeconds));
    const uint32_t c1 = state.blocks.load();
    const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    closeAudioStream(state);
    EXPECT_NEAR(double(c1 - c0), seconds * rate / 2048, 2.0);
    EXPECT_EQ(state.flags(), 0u);
    EXPECT_FALSE(state.libraryInitialised);

    ASSERT_TRUE(device.waitForRecording(int(recordSeconds) + 5));
    const test::Sound out = test::readSound(device.path("out.wav"));
    ASSERT_TRUE(out.opened && out.channels == 2);
    for (long n = 0; n < out.frames(); ++n)
        ASSERT_NEAR(out.samples[2 * n], out.samples[2 * n + 1], exact ? 0.0 : 1e-4) << "channels differ at " << n;

    // The first block's output opens with 1025 samples of silence; callback
    // k's output starts (k - 1) buffers after the first one's.
    long start = 0;
    while (start < out.frames() && std::fabs(out.samples[2 * size_t(start)]) <= 1e-3f) ++start;
    ASSERT_GE(start, 1025) << "no stream output in the recording";
    auto outputOf = [&](uint32_t callback) { return start - 1025 + long(callback - 1) * 2048; };
    // A buffer of margin on each side of a phase, for the settings' latency.
    const long passFirst = outputOf(c0 + 2), passLast = outputOf(rejectFrom - 1),
               rejectFirst = outputOf(rejectFrom + 3), rejectLast = outputOf(c1 - 1);
    ASSERT_LE(rejectLast, out.frames()) << "recording too short";

    const ToneFit pass = fitTone(out, passFirst, passLast, toneCycles);
    EXPECT_NEAR(test::dBAmplitude(pass.amplitude / (toneAmplitude * predictedGain)), 0.0, exact ? 0.05 : 0.5);
    EXPECT_LT(test::dBAmplitude(fitTone(out, rejectFirst, rejectLast, toneCycles).amplitude / pass.amplitude), -40.0);
    // Every half second against the tone fitted to the whole phase: a window
    // missing, repeated or shifted leaves a phase step, a residual near -10 dB.
    const long window = rate / 2;
    for (long first = passFirst; first + window <= passLast; first += window) {
        const double r = test::dBAmplitude(residualRms(out, first, first + window, toneCycles, pass) * std::sqrt(2.0) /
                                           pass.amplitude);
        EXPECT_LT(r, exact ? -60.0 : -50.0) << "window at " << double(first - passFirst) / rate << " s";
    }
}

INSTANTIATE_TEST_SUITE_P(Rates, LiveStream, ::testing::Values(5512, 11025, 22050, 44100),
                         [](const auto& info) { return std::to_string(info.param) + "Hz"; });

}  // namespace
}  // namespace tolvek::test
