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

using namespace tolvek;

// The engine's output lags its input by half a block and one sample: the
// output runs that much past the input's end, so the whole input gets out.
constexpr int filterDelay = blockLength / 2 + 1;

int fail(const std::string& message, int status) {
    std::fprintf(stderr, "tolvek-offline: %s\n", message.c_str());
    return status;
}

// Why OUT (or the level log) may not be written: it is the input itself.
bool overwritesInput(const OfflineOptions& o, std::string& error) {
    for (const std::string* out : {&o.outputPath, &o.levelLogPath})
        if (o.inputPath != "-" && !out->empty() && sameFile(o.inputPath, *out == "-" ? "/dev/stdout" : *out)) {
            error =
                (*out == "-" ? "standard output" : *out) + " is the input file " + o.inputPath + "; give another name";
            return true;
        }
    return false;
}

// Runs the engine over the input into OUT and the level log; the exit status.
int filter(const OfflineOptions& o, InputFile& in, int engineRate, OutputTarget& outTarget, LevelLog& levelLog) {
    std::string error;
    EngineRateReader reader(in, engineRate);
    const long long inputLength = reader.engineLength();
    OutputWriter out(outTarget, engineRate, o.outAtEngineRate ? engineRate : in.info.samplerate, o.format,
                     inputLength < 0 ? -1 : inputLength + filterDelay);
    if (!out.open(error)) return fail(error, 1);

    auto engine = std::make_unique<Engine>();
    configureEngine(*engine, o, engineRate);
    Progress progress(!o.quiet);
    const double seconds = double(inputLength) / engineRate;

    const int block = blockLength;
    std::vector<float> input(2 * block), output(2 * block), mono(block);
    long long fed = 0, written = 0;  // samples at the engine's rate
    bool inputEnded = false;
    while (!inputEnded || written < fed + filterDelay) {
        std::fill(input.begin(), input.end(), 0.0f);
        if (!inputEnded) {
            const long got = reader.next(input.data(), 2, error);
            if (got < 0) return fail(error, 2);
            fed += got;
            inputEnded = got < block;
        }
        engine->process(input.data(), output.data(), block);
        const long long n = inputEnded ? std::min<long long>(block, fed + filterDelay - written) : block;
        for (long long i = 0; i < n; ++i) mono[size_t(i)] = output[size_t(2 * i)];
        if (!out.write(mono.data(), size_t(n), error)) return fail(error, 1);
        written += n;
        levelLog.afterBlock(engine->shared, written, engineRate);
        progress.update(double(fed) / engineRate, seconds);
    }
    progress.finish();
    if (!out.finish(written, error) || !levelLog.finish(error)) return fail(error, 1);
    return commitOutput(outTarget, error) ? 0 : fail(error, 1);
}

}  // namespace

int main(int argc, char** argv) {
    std::string error;
    const auto options = parseOfflineOptions({argv + 1, argv + argc}, error);
    if (!options) return fail(error, 2);
    if (options->help) {
        std::fputs(offlineUsage, stdout);
        return 0;
    }
    const OfflineOptions& o = *options;
    if (overwritesInput(o, error)) return fail(error, 2);

    auto in = openInput(o.inputPath, o.channel, error);
    if (!in) return fail(error, 2);
    const int engineRate = o.engineRate ? o.engineRate : engineRateFor(in->info.samplerate);
    if (!checkFrequencies(o, engineRate, error)) return fail(error, 2);

    removeTemporariesOnSignals();
    OutputTarget outTarget;
    if (!openOutput(o.outputPath, outTarget, error)) return fail(error, 1);
    LevelLog levelLog;
    if (!o.levelLogPath.empty() && !levelLog.open(o.levelLogPath, error)) {
        discardOutput(outTarget);
        return fail(error, 1);
    }
    int status;
    try {
        status = filter(o, *in, engineRate, outTarget, levelLog);
    } catch (const std::exception& e) {  // the rate converter failing
        status = fail(e.what(), 1);
    }
    if (status != 0) {
        discardOutput(outTarget);
        levelLog.discard();
    }
    return status;
}
