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

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::string> args(1);
    for (size_t i = 0; i < size; ++i)
        data[i] == '\n' || data[i] == '\0' ? (void)args.emplace_back() : args.back().push_back(char(data[i]));
    std::string error;
    const auto options = tolvek::parseOfflineOptions(args, error);
    if (!options) return requireOneLineError(error), 0;
    if (options->help) return 0;
    const auto& o = *options;
    require(o.inputLevel >= 0 && o.inputLevel <= 100, "input level", std::to_string(o.inputLevel));
    require(o.outputLevel >= 0 && o.outputLevel <= 200, "output level");
    require(o.lmsTaps >= 0 && o.lmsTaps <= 3000, "LMS taps");
    require(o.blankerThreshold >= 0 && o.blankerThreshold <= 100, "blanker threshold");
    require(o.channel >= 1, "channel", std::to_string(o.channel));
    require(o.engineRate == 0 || tolvek::isEngineRate(o.engineRate), "engine rate", std::to_string(o.engineRate));

    // The engine's rate as --engine-rate sets it, or else as the tool picks
    // it for an input rate taken from the first two bytes.
    const int rate =
        o.engineRate ? o.engineRate : tolvek::engineRateFor(size >= 2 ? 1000 + (data[0] << 8 | data[1]) * 11 : 22050);
    require(tolvek::isEngineRate(rate), "chose a rate the engine does not run at", std::to_string(rate));
    if (!tolvek::checkFrequencies(o, rate, error)) return requireOneLineError(error), 0;
    auto within = [&](const std::optional<double>& hz) { return !hz || (*hz >= 0 && *hz <= rate / 2.0); };
    bool all = within(o.lowerHz) && within(o.upperHz);
    for (const auto& n : o.notchHz) all = all && within(n);
    require(all, "a frequency outside 0..rate/2 passed the check");

    auto engine = std::make_unique<tolvek::Engine>();
    tolvek::configureEngine(*engine, o, rate);
    const int block = tolvek::blockLength;
    std::vector<float> input(2 * block), output(2 * block);
    for (int n = 0; n < block; ++n) input[2 * size_t(n)] = float(0.1 * std::sin(2 * M_PI * 1000 * n / rate));
    for (int i = 0; i < 2; ++i) {
        engine->process(input.data(), output.data(), block);
        for (float y : output) require(std::isfinite(y), "output not finite");
    }
    return 0;
}
