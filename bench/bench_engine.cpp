// Engine throughput at default settings, as a realtime factor per rate, and
// our FFT against FFTW on the same 4096 points.
#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include "bench_input.h"
#include "engine.h"
#include "fft.h"

namespace {

// Audio seconds processed per CPU second with the program's start settings.
void engineRealtimeFactor(benchmark::State& state) {
    const int rate = static_cast<int>(state.range(0));
    auto engine = tolvek::bench::engineAt(rate);
    const std::vector<float> in = tolvek::bench::toneInNoiseBlock(rate, 3);
    std::vector<float> out(2 * tolvek::blockLength);
    for (auto _ : state) {
        engine->process(in.data(), out.data(), tolvek::blockLength);
        benchmark::DoNotOptimize(out.data());
    }
    const double audioSeconds = double(state.iterations()) * tolvek::blockLength / rate;
    state.counters["realtime_factor"] = benchmark::Counter(audioSeconds, benchmark::Counter::kIsRate);
}
BENCHMARK(engineRealtimeFactor)->Arg(5512)->Arg(11025)->Arg(22050)->Arg(44100)->Unit(benchmark::kMicrosecond);

constexpr int fftPoints = 4096;

std::vector<float> randomFrame() {
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> u(-1, 1);
    std::vector<float> d(2 * fftPoints + 1, 0.0f);
    for (int i = 1; i <= 2 * fftPoints; ++i) d[i] = u(rng);
    return d;
}

void fftOurs(benchmark::State& state) {
    const std::vector<float> frame = randomFrame();
    std::vector<float> d = frame;
    for (auto _ : state) {
        state.PauseTiming();
        d = frame;
        state.ResumeTiming();
        tolvek::fftForward(d.data(), fftPoints);
        benchmark::DoNotOptimize(d.data());
    }
}
BENCHMARK(fftOurs)->Unit(benchmark::kMicrosecond);

void fftFftw(benchmark::State& state) {
    fftwf_complex* buf = fftwf_alloc_complex(fftPoints);
    fftwf_plan plan = fftwf_plan_dft_1d(fftPoints, buf, buf, FFTW_BACKWARD, FFTW_MEASURE);
    const std::vector<float> frame = randomFrame();
    for (auto _ : state) {
        state.PauseTiming();
        for (int k = 0; k < fftPoints; ++k) {
            buf[k][0] = frame[2 * k + 1];
            buf[k][1] = frame[2 * k + 2];
        }
        state.ResumeTiming();
        fftwf_execute(plan);
        benchmark::DoNotOptimize(buf);
    }
    fftwf_destroy_plan(plan);
    fftwf_free(buf);
}
BENCHMARK(fftFftw)->Unit(benchmark::kMicrosecond);

// Prints our FFT's time as a multiple of FFTW's, measured in this run.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& r : runs) {
            if (r.benchmark_name() == "fftOurs") ours = r.GetAdjustedCPUTime();
            if (r.benchmark_name() == "fftFftw") fftw = r.GetAdjustedCPUTime();
        }
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        if (ours > 0 && fftw > 0)
            std::printf("\nFFT 4096 points: ours takes %.1fx the time of FFTW (FFTW_MEASURE)\n", ours / fftw);
    }

  private:
    double ours = 0, fftw = 0;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
}
