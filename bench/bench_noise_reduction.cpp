// Noise-reduction stages: the LMS against its physical limit (one float-add
// latency per tap per sample, since the in-order prediction sum is a chain
// of dependent additions), the whole engine's realtime factor with every
// stage on, and the LMS's SNR gain beside speexdsp's noise suppressor.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "lms_filter.h"
#include "noise_reduction_signals.h"
#include "speex_reference.h"

using namespace tolvek;
using namespace tolvek::test;

namespace {

constexpr int benchRate = 44100;

// One sample's worth of the limit: `taps` dependent float additions.
void FloatAddChain(benchmark::State& state) {
    const int taps = static_cast<int>(state.range(0));
    std::vector<float> a(static_cast<size_t>(taps), 1e-3f);
    for (auto _ : state) {
        float acc = 0.0f;
        for (int i = 0; i < taps; ++i) acc += a[static_cast<size_t>(i)];
        benchmark::DoNotOptimize(acc);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(FloatAddChain)->Arg(200)->Arg(3000);

void LmsStep(benchmark::State& state) {
    const int taps = static_cast<int>(state.range(0));
    const std::vector<float> x = whiteNoise(1 << 16, 0.7, 3);
    auto lms = std::make_unique<LmsFilter>();
    size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(lms->step(x[i], taps));
        i = (i + 1) & (x.size() - 1);
    }
}
BENCHMARK(LmsStep)->Arg(200)->Arg(3000);

// One 2048-frame buffer of `x` (whole blocks, taken in turn) per iteration.
void runBuffers(benchmark::State& state, Engine& engine, const std::vector<float>& x) {
    std::vector<float> in(2 * blockLength), out(2 * blockLength);
    const size_t blocks = x.size() / blockLength;
    size_t block = 0;
    for (auto _ : state) {
        for (int k = 0; k < blockLength; ++k) in[2 * k] = x[block * blockLength + k];
        engine.process(in.data(), out.data(), blockLength);
        benchmark::DoNotOptimize(out.data());
        block = (block + 1) % blocks;
    }
}

// One 2048-frame buffer through the engine with comb, blanker, LMS at 3000
// taps and AGC on, at 44100 Hz.
void EngineAllStages(benchmark::State& state) {
    auto engine = std::make_unique<Engine>();
    put(engine->settings.inputLevel, 0);
    put(engine->settings.combOn, 1);
    put(engine->settings.blankerOn, 1);
    put(engine->settings.lmsStrength, 3000);
    engine->switchLmsOn();
    engine->comb.requestSetup(20.0f, benchRate);
    std::vector<float> x = whiteNoise(static_cast<size_t>(blockLength) * 8, 0.0007, 5);
    for (size_t i = 0; i < x.size(); ++i) x[i] += static_cast<float>(0.001 * std::sin(0.13 * double(i)));
    runBuffers(state, *engine, x);
}
BENCHMARK(EngineAllStages);

// One 2048-frame buffer through the engine at the start settings with one
// of the newer stages on (0 none, 1 auto notch, 2 spectral noise reduction),
// at each rate, on noise with four carriers: the auto notch at its worst,
// with every tracker busy.
void EngineWithStage(benchmark::State& state) {
    const int rate = static_cast<int>(state.range(0)), stage = static_cast<int>(state.range(1));
    auto engine = std::make_unique<Engine>();
    put(engine->settings.sampleRate, rate);
    if (stage == 1) put(engine->settings.autoNotchOn, 1);
    if (stage == 2) put(engine->settings.spectralNrOn, 1);
    std::vector<float> x = whiteNoise(static_cast<size_t>(blockLength) * 16, 0.01, 9);
    for (size_t i = 0; i < x.size(); ++i)
        for (const double hz : {500.0, 900.0, 1300.0, 1700.0})
            x[i] += static_cast<float>(0.05 * std::sin(2 * M_PI * hz * double(i) / rate));
    runBuffers(state, *engine, x);
}
BENCHMARK(EngineWithStage)->ArgsProduct({{5512, 11025, 22050, 44100}, {0, 1, 2}});

// Keeps each run's real time per iteration for the summary.
struct Collector : benchmark::ConsoleReporter {
    std::map<std::string, double> nsPerIteration;
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const auto& r : runs) nsPerIteration[r.benchmark_name()] = r.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }
};

std::vector<float> lmsDenoise(const std::vector<float>& x, int taps) {
    auto lms = std::make_unique<LmsFilter>();
    std::vector<float> y(x.size());
    for (size_t i = 0; i < x.size(); ++i) y[i] = lms->step(x[i], taps);
    return y;
}

// SNR of y against the clean signal over [start, end): the best-scaled,
// best-delayed copy of the clean signal counts as signal, the rest as noise.
double projectedSnrDb(const std::vector<float>& y, const std::vector<float>& clean, size_t start, size_t end) {
    double best = -1e9;
    for (size_t lag = 0; lag <= 1024; lag += 1) {
        double ys = 0, ss = 0, yy = 0;
        for (size_t i = start; i < end; ++i) {
            const double s = clean[i - lag], v = y[i];
            ys += v * s;
            ss += s * s;
            yy += v * v;
        }
        const double signal = ys * ys / ss;
        best = std::max(best, dBPower(signal / (yy - signal)));
    }
    return best;
}

void printSnrComparison() {
    constexpr int rate = 22050;
    const size_t n = static_cast<size_t>(12 * rate), start = static_cast<size_t>(6 * rate);
    // Engine units: a tone of amplitude 1 and speech of RMS 1, each in white
    // noise of the same power (0 dB SNR in the full band).
    std::vector<float> tone(n);
    for (size_t i = 0; i < n; ++i) tone[i] = static_cast<float>(std::sin(2 * M_PI * 1000.0 * double(i) / rate));
    const std::vector<float> voice = speech(rate, 12);
    struct Case {
        const char* name;
        const std::vector<float>& clean;
        double noiseRms;
    };
    std::printf("\nSNR gain at 0 dB input SNR (white noise), spoken speech:\n");
    std::printf("  %-12s %10s %10s %12s\n", "signal", "LMS 200", "LMS 3000", "speexdsp");
    for (const Case& c : {Case{"tone 1 kHz", tone, std::sqrt(0.5)}, Case{"speech", voice, 1.0}}) {
        std::vector<float> x = whiteNoise(n, c.noiseRms, 13);
        for (size_t i = 0; i < n; ++i) x[i] += c.clean[i];
        const double in = projectedSnrDb(x, c.clean, start, n);
        std::printf("  %-12s %+9.1f dB %+9.1f dB %+11.1f dB\n", c.name,
                    projectedSnrDb(lmsDenoise(x, 200), c.clean, start, n) - in,
                    projectedSnrDb(lmsDenoise(x, 3000), c.clean, start, n) - in,
                    projectedSnrDb(speexDenoise(x, rate, 3000.0f), c.clean, start, n) - in);
    }
}

// Speech in white noise at 5 dB SNR, -11 dBFS in all, as the offline tool's
// stage tests use it: the LMS alone at the engine scale of input levels 90
// and 60 beside speexdsp's preprocessor on the same samples.
void printSpeechInNoise() {
    constexpr int rate = 22050;
    const size_t n = static_cast<size_t>(12 * rate), start = static_cast<size_t>(2 * rate);
    const std::vector<float> voice = speech(rate, 12), noise = whiteNoise(n, 1.0, 17);
    const double speechGain = std::pow(10, -11 / 20.0) / std::sqrt(1 + std::pow(10, -5 / 10.0));
    std::vector<float> clean(n), x(n);
    for (size_t i = 0; i < n; ++i) {
        clean[i] = static_cast<float>(speechGain * voice[i]);
        x[i] = static_cast<float>(clean[i] + speechGain * std::pow(10, -5 / 20.0) * noise[i]);
    }
    const double in = projectedSnrDb(x, clean, start, n);
    std::printf("\nSpeech in white noise at 5 dB SNR, SNR gain:\n");
    for (int level : {90, 60}) {
        const double scale = inputGainFor(level) * 1000;
        std::vector<float> scaled(n);
        for (size_t i = 0; i < n; ++i) scaled[i] = static_cast<float>(x[i] * scale);
        std::printf("  input level %d: LMS 200 taps %+.1f dB, 3000 taps %+.1f dB\n", level,
                    projectedSnrDb(lmsDenoise(scaled, 200), clean, start, n) - in,
                    projectedSnrDb(lmsDenoise(scaled, 3000), clean, start, n) - in);
    }
    std::printf("  speexdsp preprocessor (denoise): %+.1f dB\n",
                projectedSnrDb(speexDenoise(x, rate, 32767.0f), clean, start, n) - in);
}

}  // namespace

int main(int argc, char** argv) {
    disableDenormals();
    benchmark::Initialize(&argc, argv);
    Collector collector;
    benchmark::RunSpecifiedBenchmarks(&collector);
    auto& t = collector.nsPerIteration;
    if (t.count("LmsStep/3000") && t.count("FloatAddChain/3000")) {
        std::printf("\nLMS at 3000 taps: %.2f x the dependent float-add chain (goal 1.3 x)\n",
                    t["LmsStep/3000"] / t["FloatAddChain/3000"]);
        std::printf("LMS at  200 taps: %.2f x the dependent float-add chain\n",
                    t["LmsStep/200"] / t["FloatAddChain/200"]);
    }
    if (t.count("EngineAllStages"))
        std::printf("every stage on at %d Hz, 3000 LMS taps: %.1f x realtime\n", benchRate,
                    (1e9 * blockLength / benchRate) / t["EngineAllStages"]);
    std::printf("\ncallback time as a share of the block period (2048 frames), start settings plus:\n");
    std::printf("  %6s %10s %12s %12s\n", "rate", "nothing", "auto notch", "spectral NR");
    for (const int rate : {5512, 11025, 22050, 44100}) {
        const double period = 1e9 * blockLength / rate;
        std::printf("  %6d", rate);
        for (int stage = 0; stage < 3; ++stage) {
            const std::string name = "EngineWithStage/" + std::to_string(rate) + "/" + std::to_string(stage);
            if (t.count(name)) std::printf(" %11.4f", t[name] / period);
        }
        std::printf("\n");
    }
    printSnrComparison();
    printSpeechInNoise();
    benchmark::Shutdown();
    return 0;
}
