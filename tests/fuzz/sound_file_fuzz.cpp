// Fuzz target: arbitrary bytes as the offline tool's input file, opened,
// checked and read to the end by the tool's own read loop, converted to
// the engine's rate.
//
// libsndfile itself is not instrumented, so the lines of its parse log
// (without digits and bracketed text) count as coverage too: an input that
// makes it take a new path through a header is kept in the corpus.
#include <sys/mman.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "block_filter.h"
#include "fuzz_check.h"
#include "offline_input.h"
#include "settings.h"

using namespace tolvek;
using namespace tolvek::test;

namespace {

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
    // libsndfile opens by name: the bytes go through one in-memory file.
    static const int fd = ::memfd_create("tolvek-fuzz-input", 0);
    require(fd >= 0 && ::ftruncate(fd, 0) == 0 && ::pwrite(fd, data, size, 0) == ssize_t(size), "cannot write");
    // The last byte picks the channel and the engine's rate (0: the tool's
    // own choice), so every conversion the tool makes is tried.
    const int last = size ? data[size - 1] : 0;
    const int channel = 1 + last % 3, rates[] = {0, 5512, 11025, 22050, 44100}, rate = rates[last / 3 % 5];
    std::string error;
    auto in = openInput("/proc/self/fd/" + std::to_string(fd), channel, error);
    countLogLines(in ? in->file.get() : nullptr);
    if (!in) return requireOneLineError(error), 0;
    const int inputRate = in->info.samplerate;
    require(inputRate >= minInputRate && inputRate <= maxInputRate, "accepted rate", std::to_string(inputRate));
    require(in->info.channels >= channel, "accepted a missing channel", std::to_string(in->info.channels));
    require(in->info.frames > 0, "accepted an empty file");
    const int engineRate = rate ? rate : engineRateFor(inputRate);
    require(isEngineRate(engineRate), "chose a rate the engine does not run at", std::to_string(engineRate));

    // The tool's read loop: whole blocks until a short one.
    EngineRateReader reader(*in, engineRate);
    const long long expected = reader.engineLength();
    std::vector<float> samples(2 * blockLength);
    long long total = 0;
    for (long got = blockLength; got == blockLength; total += got) {
        if ((got = reader.next(samples.data(), 2, error)) < 0) return requireOneLineError(error), 0;
        require(got <= blockLength, "read more than asked");
        for (long i = 0; i < got; ++i)
            require(std::isfinite(samples[size_t(2 * i)]), "passed a sample that is not finite");
    }
    require(total == expected, "length at the engine's rate differs from the promised",
            std::to_string(total) + " vs " + std::to_string(expected));
    require(reader.next(samples.data(), 2, error) == 0, "read on after the end");
    return 0;
}
