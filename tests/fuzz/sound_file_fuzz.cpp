// Fuzz target: arbitrary bytes as the offline tool's input file, opened,
// checked and read to the end by the tool's own read loop, converted to
// the engine's rate.
//
// libsndfile itself is not instrumented, so the lines of its parse log
// (without digits and bracketed text) count as coverage too: an input that
// makes it take a new path through a header is kept in the corpus.
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "block_filter.h"
#include "fuzz_check.h"
#include "offline_input.h"
#include "settings.h"

using tolvek::test::require;
using tolvek::test::requireOneLineError;

namespace {

// libsndfile opens by name, so each input goes through one file per process.
const std::string& inputPath() {
    static const std::string path = [] {
        const auto p = std::filesystem::temp_directory_path() / ("tolvek-fuzz-" + std::to_string(::getpid()) + ".wav");
        std::atexit([] { std::remove(inputPath().c_str()); });
        return p.string();
    }();
    return path;
}

// Read by libFuzzer as coverage counters beside the compiler's own.
__attribute__((used, section("__libfuzzer_extra_counters"))) uint8_t logLinesSeen[8192];

void countLogLines(SNDFILE* file) {
    char log[16384] = {};
    sf_command(file, SFC_GET_LOG_INFO, log, sizeof log - 1);
    uint32_t hash = 2166136261u;  // FNV-1a over each line without digits or (...)
    int depth = 0;
    for (const char* c = log; *c; ++c) {
        if (*c == '\n')
            logLinesSeen[hash % sizeof logLinesSeen] = 1, hash = 2166136261u, depth = 0;
        else if (*c == '(' || *c == ')')
            depth += *c == '(' ? 1 : -1;
        else if (depth <= 0 && (*c < '0' || *c > '9'))
            hash = (hash ^ uint8_t(*c)) * 16777619u;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string& path = inputPath();
    std::FILE* f = std::fopen(path.c_str(), "wb");
    require(f && std::fwrite(data, 1, size, f) == size && std::fclose(f) == 0, "cannot write", path);

    // The last byte picks the channel and the engine's rate (0: the tool's
    // own choice), so every conversion the tool makes is tried.
    const int last = size ? data[size - 1] : 0;
    const int channel = 1 + last % 3;
    const int rates[] = {0, 5512, 11025, 22050, 44100}, rate = rates[last / 3 % 5];
    std::string error;
    auto in = tolvek::openInput(path, channel, error);
    countLogLines(in ? in->file.get() : nullptr);
    if (!in) return requireOneLineError(error), 0;
    const int inputRate = in->info.samplerate;
    require(inputRate >= tolvek::minInputRate && inputRate <= tolvek::maxInputRate, "accepted rate",
            std::to_string(inputRate));
    require(in->info.channels >= channel, "accepted a missing channel", std::to_string(in->info.channels));
    require(in->info.frames > 0, "accepted an empty file");
    const int engineRate = rate ? rate : tolvek::engineRateFor(inputRate);
    require(tolvek::isEngineRate(engineRate), "chose a rate the engine does not run at", std::to_string(engineRate));

    // The tool's read loop: whole blocks until a short one.
    tolvek::EngineRateReader reader(*in, engineRate);
    const long long expected = reader.engineLength();
    std::vector<float> samples(2 * tolvek::blockLength);
    long long total = 0;
    for (long got = tolvek::blockLength; got == tolvek::blockLength; total += got) {
        if ((got = reader.next(samples.data(), 2, error)) < 0) return requireOneLineError(error), 0;
        require(got <= tolvek::blockLength, "read more than asked");
        for (long i = 0; i < got; ++i)
            require(std::isfinite(samples[size_t(2 * i)]), "passed a sample that is not finite");
    }
    require(total == expected, "length at the engine's rate differs from the promised",
            std::to_string(total) + " vs " + std::to_string(expected));
    require(reader.next(samples.data(), 2, error) == 0, "read on after the end");
    return 0;
}
