// Fuzz target: arbitrary bytes as the offline tool's arguments (split at
// newlines and NULs), parsed and checked by the tool's own code; options it
// accepts are applied to an engine that then runs two blocks of a tone.
#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine.h"
#include "fuzz_check.h"
#include "offline_input.h"
#include "offline_options.h"
#include "settings.h"

using tolvek::test::require;
using tolvek::test::requireOneLineError;

namespace {

std::vector<std::string> splitArguments(const uint8_t* data, size_t size) {
    std::vector<std::string> args(1);
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == '\n' || data[i] == '\0')
            args.emplace_back();
        else
            args.back().push_back(char(data[i]));
    }
    return args;
}

// Every frequency the options set lies within 0..rate/2 once checked.
bool frequenciesWithin(const tolvek::OfflineOptions& o, int rate) {
    auto ok = [&](const std::optional<double>& hz) { return !hz || (*hz >= 0 && *hz <= rate / 2.0); };
    bool all = ok(o.lowerHz) && ok(o.upperHz);
    for (const auto& n : o.notchHz) all = all && ok(n);
    return all;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string error;
    const auto options = tolvek::parseOfflineOptions(splitArguments(data, size), error);
    if (!options) {
        requireOneLineError(error);
        return 0;
    }
    if (options->help) return 0;
    require(options->inputLevel >= 0 && options->inputLevel <= 100, "input level", std::to_string(options->inputLevel));
    require(options->outputLevel >= 0 && options->outputLevel <= 200, "output level");
    require(options->lmsTaps >= 0 && options->lmsTaps <= 3000, "LMS taps");
    require(options->blankerThreshold >= 0 && options->blankerThreshold <= 100, "blanker threshold");

    require(options->channel >= 1, "channel", std::to_string(options->channel));
    require(options->engineRate == 0 || tolvek::isEngineRate(options->engineRate), "engine rate",
            std::to_string(options->engineRate));

    // The engine's rate as --engine-rate sets it, or else as the tool picks
    // it for an input rate taken from the first two bytes.
    const int inputRate = size >= 2 ? 1000 + (data[0] << 8 | data[1]) * 11 : 22050;
    const int rate = options->engineRate ? options->engineRate : tolvek::engineRateFor(inputRate);
    require(tolvek::isEngineRate(rate), "chose a rate the engine does not run at", std::to_string(rate));
    if (!tolvek::checkFrequencies(*options, rate, error)) {
        requireOneLineError(error);
        return 0;
    }
    require(frequenciesWithin(*options, rate), "a frequency outside 0..rate/2 passed the check");

    auto engine = std::make_unique<tolvek::Engine>();
    tolvek::configureEngine(*engine, *options, rate);
    const int block = tolvek::blockLength;
    std::vector<float> input(2 * block), output(2 * block);
    for (int n = 0; n < block; ++n) input[2 * size_t(n)] = float(0.1 * std::sin(2 * M_PI * 1000 * n / rate));
    for (int i = 0; i < 2; ++i) {
        engine->process(input.data(), output.data(), block);
        for (float y : output) require(std::isfinite(y), "output not finite");
    }
    return 0;
}
