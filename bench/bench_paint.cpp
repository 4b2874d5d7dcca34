// One full paint of the main window as a fraction of the block period at
// 44100 samples per second (2048 / 44100 s), in percent; the goal is below 10.
// At screen scales of 100, 150 and 200 % (the argument, in percent).
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QTemporaryDir>

#include <chrono>
#include <cmath>
#include <memory>

#include "main_window_paint.h"

namespace {

constexpr double blockPeriod = 2048.0 / 44100.0;  // seconds

void paintFractionOfBlock(benchmark::State& state) {
    tolvek::ProcessingSettings settings;
    tolvek::SharedValues shared;
    for (int i = 1; i < tolvek::spectrumSize; ++i) {
        tolvek::put(shared.filteredSpectrum[i], float(50 + 40 * std::sin(i / 9.0)));
        tolvek::put(shared.inputSpectrum[i], float(200 * std::exp(-i / 300.0)));
    }
    // Everything on: all notches, recording, CPU load, overload each paint.
    for (int n = 0; n < 4; ++n) tolvek::put(settings.notchOn(n), 1);
    tolvek::put(settings.recordingOn, 1);
    tolvek::put(settings.cpuLoadShown, 1);
    auto display = std::make_unique<tolvek::DisplayState>();
    const qreal scale = state.range(0) / 100.0;
    QImage picture(QSize(974, 526) * scale, QImage::Format_RGB32);  // about the client area of a 990 x 585 window
    picture.setDevicePixelRatio(scale);
    const tolvek::PaintInputs in{settings, shared, 120.0f, 80, true, QString()};
    double seconds = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        tolvek::addBlockRow(*display, shared, 80);
        tolvek::paintMainWindow(picture, in, *display);
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        benchmark::DoNotOptimize(picture.constBits());
    }
    // In percent: the counters print small fractions with SI prefixes.
    state.counters["percent_of_block"] = 100 * seconds / (double(state.iterations()) * blockPeriod);
}
BENCHMARK(paintFractionOfBlock)->Arg(100)->Arg(150)->Arg(200)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir runtimeDir;
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) qputenv("XDG_RUNTIME_DIR", runtimeDir.path().toUtf8());
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
