// Fuzz target: arbitrary bytes as the offline tool's input file, opened,
// checked and read to the end by the tool's own reading code.
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

using tolvek::fuzz::require;
using tolvek::fuzz::requireOneLineError;

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
        if (*c == '\n') {
            logLinesSeen[hash % sizeof logLinesSeen] = 1;
            hash = 2166136261u;
            depth = 0;
        } else if (*c == '(' || *c == ')') {
            depth += *c == '(' ? 1 : -1;
        } else if (depth <= 0 && (*c < '0' || *c > '9')) {
            hash = (hash ^ uint8_t(*c)) * 16777619u;
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string& path = inputPath();
    std::FILE* f = std::fopen(path.c_str(), "wb");
    require(f != nullptr, "cannot write", path);
    require(std::fwrite(data, 1, size, f) == size && std::fclose(f) == 0, "cannot write", path);

    std::string error;
    auto in = tolvek::openInput(path, error);
    countLogLines(in ? in->file.get() : nullptr);
    if (!in) {
        requireOneLineError(error);
        return 0;
    }
    require(tolvek::isEngineRate(in->info.samplerate), "accepted rate", std::to_string(in->info.samplerate));
    require(in->info.channels == 1 || in->info.channels == 2, "accepted channels", std::to_string(in->info.channels));
    require(in->info.frames > 0, "accepted an empty file");

    // The tool's loop: whole blocks until a short one, then the length check.
    const int block = tolvek::blockLength;
    std::vector<float> left(2 * block);
    for (;;) {
        const long got = tolvek::readLeftChannel(*in, left.data(), block, 2, error);
        if (got < 0) {
            requireOneLineError(error);
            return 0;
        }
        require(got <= block, "read more than asked");
        for (long i = 0; i < got; ++i)
            require(std::abs(left[size_t(2 * i)]) <= tolvek::maxSampleMagnitude,
                    "passed a sample the engine cannot take");
        if (got < block) break;
    }
    if (!tolvek::checkAllRead(*in, error)) requireOneLineError(error);
    return 0;
}
