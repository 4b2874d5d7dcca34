// The audio callback's cost of a running recording: the engine's block time
// with the recorder writing (its writer thread on the other core) against
// the same blocks without a recording, printed as a ratio (goal below 1.05).
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <random>
#include <vector>

#include "bench_input.h"
#include "engine.h"
#include "wav_recorder.h"

namespace {

constexpr int rate = 44100;
uint32_t blocksLost = 0;

// Blocks of a tone in noise through the engine at its start settings, with
// or without a recording into a scratch folder (in memory where there is one).
void callbackBlock(benchmark::State& state) {
    const bool recording = state.range(0) != 0;
    auto engine = tolvek::bench::engineAt(rate);
    const std::vector<float> in = tolvek::bench::toneInNoiseBlock(rate, 5);
    std::vector<float> out(2 * tolvek::blockLength);

    const std::filesystem::path base = std::filesystem::exists("/dev/shm") ? "/dev/shm" : "/tmp";
    std::string dir = (base / "tolvek-bench-XXXXXX").string();
    if (!mkdtemp(dir.data())) {
        state.SkipWithError("no scratch folder");
        return;
    }
    tolvek::WavRecorder recorder(engine->recordRing, engine->settings);
    if (recording && !recorder.startRecording(dir).ok()) state.SkipWithError("recording did not start");
    for (auto _ : state) {
        engine->process(in.data(), out.data(), tolvek::blockLength);
        benchmark::DoNotOptimize(out.data());
    }
    if (recording) blocksLost = recorder.blocksLost();
    recorder.stopRecording();
    std::filesystem::remove_all(dir);
}
BENCHMARK(callbackBlock)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& r : runs) {
            // With repetitions, the medians.
            if (r.run_type == Run::RT_Aggregate && r.aggregate_name != "median") continue;
            (r.run_name.str() == "callbackBlock/1" ? with : without) = r.GetAdjustedCPUTime();
        }
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        if (with > 0 && without > 0)
            std::printf("\nCallback at 44100 Hz: %.3fx its time without a recording (%u blocks lost)\n", with / without,
                        blocksLost);
    }

  private:
    double with = 0, without = 0;
};

}  // namespace

int main(int argc, char** argv) {
    // Five runs each by default: the machine is shared, the median steadier.
    std::vector<char*> args(argv, argv + argc);
    char repetitions[] = "--benchmark_repetitions=5";
    args.insert(args.begin() + 1, repetitions);
    argc = int(args.size());
    argv = args.data();
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
}
