#include "offline_input.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "block_filter.h"
#include "settings.h"

namespace tolvek {

// libsndfile reads a WAV whose data chunk runs past the end of the file
// without complaint, noting the shortfall only in its log.
static bool dataChunkTruncated(SNDFILE* file) {
    std::vector<char> log(16384, '\0');
    sf_command(file, SFC_GET_LOG_INFO, log.data(), static_cast<int>(log.size()) - 1);
    const std::string text(log.data());
    for (size_t at = text.find("\ndata"); at != std::string::npos; at = text.find("\ndata", at + 1)) {
        const std::string line = text.substr(at + 1, text.find('\n', at + 1) - at - 1);
        if (line.find("should be") != std::string::npos) return true;
    }
    return false;
}

std::optional<InputFile> openInput(const std::string& path, int channel, std::string& error) {
    InputFile in;
    in.path = path == "-" ? "standard input" : path;
    in.file.reset(path == "-" ? sf_open_fd(0, SFM_READ, &in.info, 0) : sf_open(path.c_str(), SFM_READ, &in.info));
    if (!in.file) {
        error = "cannot read " + in.path + ": " + sf_strerror(nullptr);
        return std::nullopt;
    }
    const int rate = in.info.samplerate;
    if (rate < minInputRate || rate > maxInputRate) {
        error = in.path + ": unsupported sample rate " + std::to_string(rate) + " Hz (use " +
                std::to_string(minInputRate) + ".." + std::to_string(maxInputRate) + ")";
        return std::nullopt;
    }
    if (in.info.channels < 1) {
        error = in.path + ": " + std::to_string(in.info.channels) + " channels";
        return std::nullopt;
    }
    if (channel > in.info.channels) {
        error = in.path + ": --channel " + std::to_string(channel) + " asked, the file has " +
                std::to_string(in.info.channels) + " channel" + (in.info.channels > 1 ? "s" : "");
        return std::nullopt;
    }
    in.channel = channel - 1;
    // A stream's header may promise nothing (or anything): its end is where it ends.
    in.lengthKnown = in.info.seekable != 0;
    if (in.lengthKnown && in.info.frames <= 0) {
        error = in.path + ": no audio frames";
        return std::nullopt;
    }
    if (in.lengthKnown && dataChunkTruncated(in.file.get())) {
        error = in.path + ": truncated file: the audio data ends early";
        return std::nullopt;
    }
    in.frames.resize(static_cast<size_t>(blockLength) * static_cast<size_t>(in.info.channels));
    return in;
}

int engineRateFor(int inputRate) {
    for (int rate : {5512, 11025, 22050})
        if (inputRate <= rate) return rate;
    return 44100;
}

long readChannel(InputFile& in, float* out, int count, int stride, std::string& error) {
    const sf_count_t got = sf_readf_float(in.file.get(), in.frames.data(), std::min(count, blockLength));
    if (sf_error(in.file.get()) != SF_ERR_NO_ERROR) {
        error = in.path + ": corrupt or unreadable audio data: " + sf_strerror(in.file.get());
        return -1;
    }
    // Float files may overshoot full scale a little, and the engine copes with
    // that; far beyond it its gains carry samples to infinity and NaN.
    for (sf_count_t i = 0; i < got * in.info.channels; ++i) {
        const float x = in.frames[static_cast<size_t>(i)];
        if (!(std::abs(x) <= maxSampleMagnitude)) {
            char value[32];
            std::snprintf(value, sizeof value, "%g", double(x));
            error = in.path + ": frame " + std::to_string(in.framesRead + i / in.info.channels) + " holds " + value +
                    ", beyond 1000 times full scale";
            return -1;
        }
    }
    in.framesRead += got;
    for (sf_count_t i = 0; i < got; ++i)
        out[i * stride] = in.frames[static_cast<size_t>(i * in.info.channels + in.channel)];
    return static_cast<long>(got);
}

bool checkAllRead(const InputFile& in, std::string& error) {
    if (!in.lengthKnown || in.framesRead >= in.info.frames) return true;
    error = in.path + ": truncated file: " + std::to_string(in.framesRead) + " of " + std::to_string(in.info.frames) +
            " frames readable";
    return false;
}

EngineRateReader::EngineRateReader(InputFile& input, int engineRate)
    : in(input), toEngine(input.info.samplerate, engineRate), piece(blockLength) {}

long long EngineRateReader::engineLength() const {
    if (ended) return handedOut + static_cast<long long>(ready.size() - readyAt);
    return in.lengthKnown ? toEngine.outputLength(in.info.frames) : -1;
}

long EngineRateReader::next(float* block, int stride, std::string& error) {
    while (!ended && ready.size() - readyAt < size_t(blockLength)) {
        const long got = readChannel(in, piece.data(), blockLength, 1, error);
        if (got < 0) return -1;
        toEngine.push(piece.data(), size_t(got), ready);
        if (got < blockLength) {
            toEngine.finish(ready);
            // The converter's last samples are a filter's tail: exactly as
            // many samples as the input's length at the engine's rate.
            const long long total = toEngine.outputLength(in.framesRead);
            ready.resize(readyAt + size_t(std::max(0LL, total - handedOut)), 0.0f);
            ended = true;
            if (!checkAllRead(in, error)) return -1;
        }
    }
    const size_t n = std::min(ready.size() - readyAt, size_t(blockLength));
    for (size_t i = 0; i < n; ++i) block[i * size_t(stride)] = ready[readyAt + i];
    readyAt += n;
    handedOut += static_cast<long long>(n);
    if (readyAt > 4 * size_t(blockLength)) {  // keep the buffer short
        ready.erase(ready.begin(), ready.begin() + static_cast<std::ptrdiff_t>(readyAt));
        readyAt = 0;
    }
    return static_cast<long>(n);
}

}  // namespace tolvek
