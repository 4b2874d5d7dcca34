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

std::optional<InputFile> openInput(const std::string& path, std::string& error) {
    InputFile in;
    in.path = path;
    in.file.reset(sf_open(path.c_str(), SFM_READ, &in.info));
    if (!in.file) {
        error = "cannot read " + path + ": " + sf_strerror(nullptr);
        return std::nullopt;
    }
    const int rate = in.info.samplerate;
    if (!isEngineRate(rate)) {
        error = path + ": unsupported sample rate " + std::to_string(rate) + " Hz (use 5512, 11025, 22050 or 44100)";
        return std::nullopt;
    }
    if (in.info.channels < 1 || in.info.channels > 2) {
        error = path + ": " + std::to_string(in.info.channels) + " channels (use mono or stereo)";
        return std::nullopt;
    }
    if (in.info.frames <= 0) {
        error = path + ": no audio frames";
        return std::nullopt;
    }
    if (dataChunkTruncated(in.file.get())) {
        error = path + ": truncated file: the audio data ends early";
        return std::nullopt;
    }
    in.frames.resize(static_cast<size_t>(blockLength) * static_cast<size_t>(in.info.channels));
    return in;
}

long readLeftChannel(InputFile& in, float* left, int count, int stride, std::string& error) {
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
    for (sf_count_t i = 0; i < got; ++i) left[i * stride] = in.frames[static_cast<size_t>(i * in.info.channels)];
    return static_cast<long>(got);
}

bool checkAllRead(const InputFile& in, std::string& error) {
    if (in.framesRead >= in.info.frames) return true;
    error = in.path + ": truncated file: " + std::to_string(in.framesRead) + " of " + std::to_string(in.info.frames) +
            " frames readable";
    return false;
}

}  // namespace tolvek
