// tolvek-offline: runs the engine over a sound file, block by block, and
// writes what the sound card would receive as a 32-bit float WAV.
#include <sndfile.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "engine.h"
#include "offline_input.h"
#include "offline_options.h"

namespace {

int fail(const std::string& message, int status) {
    std::fprintf(stderr, "tolvek-offline: %s\n", message.c_str());
    return status;
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

    auto in = tolvek::openInput(o.inputPath, error);
    if (!in) return fail(error, 2);
    const int rate = in->info.samplerate;
    if (!tolvek::checkFrequencies(o, rate, error)) return fail(error, 2);

    // Written under a temporary name and renamed at the end, so a failure
    // leaves no output file behind.
    const std::string tempPath = o.outputPath + ".part";
    SF_INFO outInfo{};
    outInfo.samplerate = rate;
    outInfo.channels = 2;
    outInfo.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    tolvek::SndFilePtr out(sf_open(tempPath.c_str(), SFM_WRITE, &outInfo));
    if (!out) return fail("cannot create " + o.outputPath + ": " + sf_strerror(nullptr), 1);
    auto abandon = [&](const std::string& message, int status) {
        out.reset();
        std::remove(tempPath.c_str());
        return fail(message, status);
    };

    auto engine = std::make_unique<tolvek::Engine>();
    tolvek::configureEngine(*engine, o, rate);

    const int block = tolvek::blockLength;
    std::vector<float> input(2 * block), output(2 * block);
    bool inputDone = false;
    bool flushed = false;
    while (!flushed) {
        std::fill(input.begin(), input.end(), 0.0f);
        long got = 0;
        if (!inputDone) {
            got = tolvek::readLeftChannel(*in, input.data(), block, 2, error);
            if (got < 0) return abandon(error, 2);
            if (got < block) inputDone = true;
        } else {
            flushed = true;  // one extra block of silence lets the delayed tail out
        }
        if (got == 0 && !flushed) continue;
        engine->process(input.data(), output.data(), block);
        if (sf_writef_float(out.get(), output.data(), block) != block)
            return abandon("cannot write " + o.outputPath + ": " + sf_strerror(out.get()), 1);
    }
    if (!tolvek::checkAllRead(*in, error)) return abandon(error, 2);

    if (sf_close(out.release()) != 0) return abandon("cannot finish " + o.outputPath, 1);
    if (std::rename(tempPath.c_str(), o.outputPath.c_str()) != 0) {
        std::remove(tempPath.c_str());
        return fail("cannot create " + o.outputPath, 1);
    }
    return 0;
}
