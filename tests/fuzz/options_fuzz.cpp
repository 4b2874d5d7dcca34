// Fuzz target: arbitrary bytes as the offline tool's arguments (split at
// newlines and NULs), parsed and checked by the tool's own code; options it
// accepts are applied to an engine that then runs two blocks of a tone.
#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "engine.h"
#include "fuzz_check.h"
#include "offline_input.h"
#include "offline_options.h"
#include "settings.h"

using namespace tolvek;
using namespace tolvek::test;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::string> args(1);
    for (size_t i = 0; i < size; ++i)
        data[i] == '\n' || data[i] == '\0' ? (void)args.emplace_back() : args.back().push_back(char(data[i]));
    std::string error;
    const auto options = parseOfflineOptions(args, error);
    if (!options) return requireOneLineError(error), 0;
    if (options->help) return 0;
    const OfflineOptions& o = *options;
    for (const auto& [value, lo, hi, name] : {std::tuple{o.inputLevel, 0, 100, "input level"},
                                              {o.outputLevel, 0, 200, "output level"},
                                              {o.lmsTaps, 0, 3000, "LMS taps"},
                                              {o.blankerThreshold, 0, 100, "blanker threshold"},
                                              {o.channel, 1, 1 << 20, "channel"}})
        require(value >= lo && value <= hi, name, std::to_string(value));
    require(o.engineRate == 0 || isEngineRate(o.engineRate), "engine rate", std::to_string(o.engineRate));

    // The engine's rate as --engine-rate sets it, or else as the tool picks
    // it for an input rate taken from the first two bytes.
    const int rate =
        o.engineRate ? o.engineRate : engineRateFor(size >= 2 ? 1000 + (data[0] << 8 | data[1]) * 11 : 22050);
    require(isEngineRate(rate), "chose a rate the engine does not run at", std::to_string(rate));
    if (!checkFrequencies(o, rate, error)) return requireOneLineError(error), 0;
    for (const auto& hz : {o.lowerHz, o.upperHz, o.notchHz[0], o.notchHz[1], o.notchHz[2], o.notchHz[3]})
        require(!hz || (*hz >= 0 && *hz <= rate / 2.0), "a frequency outside 0..rate/2 passed the check");

    auto engine = std::make_unique<Engine>();
    configureEngine(*engine, o, rate);
    std::vector<float> input(2 * blockLength), output(2 * blockLength);
    for (int n = 0; n < blockLength; ++n) input[2 * size_t(n)] = float(0.1 * std::sin(2 * M_PI * 1000 * n / rate));
    for (int i = 0; i < 2; ++i) {
        engine->process(input.data(), output.data(), blockLength);
        for (float y : output) require(std::isfinite(y), "output not finite");
    }
    return 0;
}
