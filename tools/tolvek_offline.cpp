// tolvek-offline: runs the engine over a sound file, block by block, and
// writes what the sound card would receive as a 32-bit float WAV.
#include <sndfile.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "engine.h"
#include "offline_options.h"

namespace {

using tolvek::OfflineOptions;

struct SndFileCloser {
    void operator()(SNDFILE* f) const { sf_close(f); }
};
using SndFilePtr = std::unique_ptr<SNDFILE, SndFileCloser>;

void configure(tolvek::Engine& engine, const OfflineOptions& o, int rate) {
    using tolvek::put;
    auto& s = engine.settings;
    put(s.sampleRate, rate);
    put(s.passOn, o.band == OfflineOptions::Band::pass ? 1 : 0);
    put(s.rejectOn, o.band == OfflineOptions::Band::reject ? 1 : 0);
    put(s.passAllOn, o.band == OfflineOptions::Band::passAll ? 1 : 0);
    if (o.lowerHz) put(s.lowerCutoff, static_cast<float>(tolvek::hzToPosition(*o.lowerHz, rate)));
    if (o.upperHz) put(s.upperCutoff, static_cast<float>(tolvek::hzToPosition(*o.upperHz, rate)));
    for (int i = 0; i < 4; ++i) {
        if (!o.notchHz[i]) continue;
        put(s.notchFreq(i), static_cast<float>(tolvek::hzToPosition(*o.notchHz[i], rate)));
        put(s.notchOn(i), 1);
    }
    put(s.agcOn, o.agc == OfflineOptions::AgcMode::off ? 0 : 1);
    put(s.agcFast, o.agc == OfflineOptions::AgcMode::fast ? 1 : 0);
    put(s.inputLevel, o.inputLevel);
    put(s.outputLevel, o.outputLevel);
    put(s.noiseTestOn, o.testNoise ? 1 : 0);
    if (o.combHz) {
        put(s.combPeriodMs, o.combHz == 50 ? 20.0f : 16.66f);
        put(s.comb50Hz, o.combHz == 50 ? 1 : 0);
        put(s.comb60Hz, o.combHz == 60 ? 1 : 0);
        put(s.combOn, 1);
    }
    engine.comb.requestSetup(tolvek::get(s.combPeriodMs), rate);
    if (o.blankerThreshold) {
        put(s.blankerThreshold, o.blankerThreshold);
        put(s.blankerOn, 1);
    }
    if (o.lmsTaps) {
        put(s.lmsStrength, o.lmsTaps);
        engine.switchLmsOn();
    }
}

// libsndfile reads a WAV whose data chunk runs past the end of the file
// without complaint, noting the shortfall only in its log.
bool dataChunkTruncated(SNDFILE* file) {
    std::vector<char> log(16384, '\0');
    sf_command(file, SFC_GET_LOG_INFO, log.data(), static_cast<int>(log.size()) - 1);
    const std::string text(log.data());
    for (size_t at = text.find("\ndata"); at != std::string::npos; at = text.find("\ndata", at + 1)) {
        const std::string line = text.substr(at + 1, text.find('\n', at + 1) - at - 1);
        if (line.find("should be") != std::string::npos) return true;
    }
    return false;
}

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
    const OfflineOptions& o = *options;

    SF_INFO inInfo{};
    SndFilePtr in(sf_open(o.inputPath.c_str(), SFM_READ, &inInfo));
    if (!in) return fail("cannot read " + o.inputPath + ": " + sf_strerror(nullptr), 2);
    const int rate = inInfo.samplerate;
    if (!tolvek::isEngineRate(rate))
        return fail(o.inputPath + ": unsupported sample rate " + std::to_string(rate) +
                        " Hz (use 5512, 11025, 22050 or 44100)", 2);
    if (inInfo.channels < 1 || inInfo.channels > 2)
        return fail(o.inputPath + ": " + std::to_string(inInfo.channels) + " channels (use mono or stereo)", 2);
    if (inInfo.frames <= 0) return fail(o.inputPath + ": no audio frames", 2);
    if (dataChunkTruncated(in.get())) return fail(o.inputPath + ": truncated file: the audio data ends early", 2);
    if (!tolvek::checkFrequencies(o, rate, error)) return fail(error, 2);

    // Written under a temporary name and renamed at the end, so a failure
    // leaves no output file behind.
    const std::string tempPath = o.outputPath + ".part";
    SF_INFO outInfo{};
    outInfo.samplerate = rate;
    outInfo.channels = 2;
    outInfo.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SndFilePtr out(sf_open(tempPath.c_str(), SFM_WRITE, &outInfo));
    if (!out) return fail("cannot create " + o.outputPath + ": " + sf_strerror(nullptr), 1);
    auto abandon = [&](const std::string& message, int status) {
        out.reset();
        std::remove(tempPath.c_str());
        return fail(message, status);
    };

    auto engine = std::make_unique<tolvek::Engine>();
    configure(*engine, o, rate);

    const int block = tolvek::blockLength;
    std::vector<float> fileFrames(static_cast<size_t>(block) * inInfo.channels);
    std::vector<float> input(2 * block), output(2 * block);
    sf_count_t framesRead = 0;
    bool inputDone = false;
    bool flushed = false;
    while (!flushed) {
        sf_count_t got = 0;
        if (!inputDone) {
            got = sf_readf_float(in.get(), fileFrames.data(), block);
            if (sf_error(in.get()) != SF_ERR_NO_ERROR)
                return abandon(o.inputPath + ": corrupt or unreadable audio data: " + sf_strerror(in.get()), 2);
            framesRead += got;
            if (got < block) inputDone = true;
        } else {
            flushed = true;  // one extra block of silence lets the delayed tail out
        }
        std::fill(input.begin(), input.end(), 0.0f);
        for (sf_count_t i = 0; i < got; ++i) input[2 * i] = fileFrames[i * inInfo.channels];
        if (got == 0 && !flushed) continue;
        engine->process(input.data(), output.data(), block);
        if (sf_writef_float(out.get(), output.data(), block) != block)
            return abandon("cannot write " + o.outputPath + ": " + sf_strerror(out.get()), 1);
    }
    if (framesRead < inInfo.frames)
        return abandon(o.inputPath + ": truncated file: " + std::to_string(framesRead) + " of " +
                           std::to_string(inInfo.frames) + " frames readable", 2);

    if (sf_close(out.release()) != 0) return abandon("cannot finish " + o.outputPath, 1);
    if (std::rename(tempPath.c_str(), o.outputPath.c_str()) != 0) {
        std::remove(tempPath.c_str());
        return fail("cannot create " + o.outputPath, 1);
    }
    return 0;
}
