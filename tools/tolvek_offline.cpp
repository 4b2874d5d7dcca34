// tolvek-offline: runs the engine over a sound file, block by block, and
// writes what the sound card would receive as a WAV.
#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "engine.h"
#include "level_log.h"
#include "offline_input.h"
#include "offline_options.h"
#include "offline_output.h"
#include "output_target.h"
#include "progress.h"

namespace {

// The engine's output lags its input by half a block and one sample: the
// output runs that much past the input's end, so the whole input gets out.
constexpr int filterDelay = tolvek::blockLength / 2 + 1;

int fail(const std::string& message, int status) {
    std::fprintf(stderr, "tolvek-offline: %s\n", message.c_str());
    return status;
}

// Why OUT (or the level log) may not be written: it is the input itself.
bool overwritesInput(const tolvek::OfflineOptions& o, std::string& error) {
    for (const std::string* out : {&o.outputPath, &o.levelLogPath})
        if (o.inputPath != "-" && !out->empty() && *out != "-" && tolvek::sameFile(o.inputPath, *out)) {
            error = *out + " is the input file " + o.inputPath + "; give another name";
            return true;
        }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    std::string error;
    const auto options = tolvek::parseOfflineOptions({argv + 1, argv + argc}, error);
    if (!options) return fail(error, 2);
    if (options->help) {
        std::fputs(tolvek::offlineUsage, stdout);
        return 0;
    }
    const tolvek::OfflineOptions& o = *options;
    if (overwritesInput(o, error)) return fail(error, 2);

    auto in = tolvek::openInput(o.inputPath, o.channel, error);
    if (!in) return fail(error, 2);
    const int engineRate = o.engineRate ? o.engineRate : tolvek::engineRateFor(in->info.samplerate);
    if (!tolvek::checkFrequencies(o, engineRate, error)) return fail(error, 2);
    tolvek::EngineRateReader reader(*in, engineRate);

    tolvek::removeTemporariesOnSignals();
    tolvek::OutputTarget outTarget;
    if (!tolvek::openOutput(o.outputPath, outTarget, error)) return fail(error, 1);
    tolvek::LevelLog levelLog;
    if (!o.levelLogPath.empty() && !levelLog.open(o.levelLogPath, error)) {
        tolvek::discardOutput(outTarget);
        return fail(error, 1);
    }
    const long long inputLength = reader.engineLength();
    tolvek::OutputWriter out(outTarget, engineRate, o.outAtEngineRate ? engineRate : in->info.samplerate, o.format,
                             inputLength < 0 ? -1 : inputLength + filterDelay);
    auto abandon = [&](const std::string& message, int status) {
        tolvek::discardOutput(outTarget);
        levelLog.discard();
        return fail(message, status);
    };
    if (!out.open(error)) return abandon(error, 1);

    auto engine = std::make_unique<tolvek::Engine>();
    tolvek::configureEngine(*engine, o, engineRate);
    tolvek::Progress progress(!o.quiet);
    const double seconds = double(inputLength) / engineRate;

    const int block = tolvek::blockLength;
    std::vector<float> input(2 * block), output(2 * block), mono(block);
    long long fed = 0, written = 0;  // samples at the engine's rate
    bool inputEnded = false;
    while (!inputEnded || written < fed + filterDelay) {
        std::fill(input.begin(), input.end(), 0.0f);
        if (!inputEnded) {
            const long got = reader.next(input.data(), 2, error);
            if (got < 0) return abandon(error, 2);
            fed += got;
            inputEnded = got < block;
        }
        engine->process(input.data(), output.data(), block);
        const long long n = inputEnded ? std::min<long long>(block, fed + filterDelay - written) : block;
        for (long long i = 0; i < n; ++i) mono[size_t(i)] = output[size_t(2 * i)];
        if (!out.write(mono.data(), size_t(n), error)) return abandon(error, 1);
        written += n;
        levelLog.afterBlock(engine->shared, written, engineRate);
        progress.update(double(fed) / engineRate, seconds);
    }
    progress.finish();
    if (!out.finish(written, error) || !levelLog.finish(error)) return abandon(error, 1);
    if (!tolvek::commitOutput(outTarget, error)) return abandon(error, 1);
    return 0;
}
