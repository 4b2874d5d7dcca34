#include "offline_output.h"

#include <unistd.h>

#include <algorithm>
#include <cstdint>

namespace tolvek {

namespace {

constexpr int outputChannels = 2;

int bytesPerSample(int subtype) { return subtype == SF_FORMAT_PCM_16 ? 2 : subtype == SF_FORMAT_PCM_24 ? 3 : 4; }

void putLittleEndian(std::string& s, uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) s.push_back(static_cast<char>(v >> (8 * i) & 0xff));
}

// The header of a WAV stream. A reader of a pipe cannot wait for sizes
// filled in at the end, so they are given at the start: exact when known and
// within the format's 4 GiB, else the largest value, which readers take as
// "until the stream ends".
std::string streamHeader(int rate, int subtype, long long frames) {
    const int bytes = bytesPerSample(subtype);
    const uint64_t dataBytes = frames < 0 ? UINT64_MAX : uint64_t(frames) * outputChannels * uint64_t(bytes);
    const uint32_t dataSize = dataBytes <= 0xffffffffu - 36 ? uint32_t(dataBytes) : 0xffffffffu;
    std::string h = "RIFF";
    putLittleEndian(h, dataSize == 0xffffffffu ? dataSize : dataSize + 36, 4);
    h += "WAVEfmt ";
    putLittleEndian(h, 16, 4);
    putLittleEndian(h, subtype == SF_FORMAT_FLOAT ? 3 : 1, 2);  // IEEE float or integer PCM
    putLittleEndian(h, outputChannels, 2);
    putLittleEndian(h, uint32_t(rate), 4);
    putLittleEndian(h, uint32_t(rate) * outputChannels * uint32_t(bytes), 4);
    putLittleEndian(h, outputChannels * bytes, 2);
    putLittleEndian(h, 8 * bytes, 2);
    h += "data";
    putLittleEndian(h, dataSize, 4);
    return h;
}

bool writeAll(int fd, const std::string& bytes) {
    for (size_t at = 0; at < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.data() + at, bytes.size() - at);
        if (n <= 0) return false;
        at += size_t(n);
    }
    return true;
}

}  // namespace

OutputWriter::OutputWriter(OutputTarget& t, int engineRate, int rate, OfflineOptions::Format format,
                           long long engineLength)
    : target(t),
      outputRate(rate),
      subtype(format == OfflineOptions::Format::pcm16   ? SF_FORMAT_PCM_16
              : format == OfflineOptions::Format::pcm24 ? SF_FORMAT_PCM_24
                                                        : SF_FORMAT_FLOAT),
      plannedFrames(-1),
      toOutput(engineRate, rate) {
    if (engineLength >= 0) plannedFrames = toOutput.outputLength(engineLength);
}

bool OutputWriter::open(std::string& error) {
    SF_INFO info{};
    info.samplerate = outputRate;
    info.channels = outputChannels;
    if (target.stream) {
        // libsndfile writes no WAV to a pipe: the header is ours, the samples its.
        if (!writeAll(target.fd, streamHeader(outputRate, subtype, plannedFrames))) {
            error = "cannot write " + target.shownName;
            return false;
        }
        info.format = SF_FORMAT_RAW | SF_ENDIAN_LITTLE | subtype;
    } else {
        const long long bytes = plannedFrames * outputChannels * bytesPerSample(subtype);
        const bool fits = plannedFrames >= 0 && bytes < 0xffffffffLL - 1024;  // room for the header
        info.format = (fits ? SF_FORMAT_WAV : SF_FORMAT_RF64) | subtype;
    }
    file.reset(sf_open_fd(target.fd, SFM_WRITE, &info, SF_TRUE));
    if (!file) {
        error = "cannot write " + target.shownName + ": " + sf_strerror(nullptr);
        return false;
    }
    target.fd = -1;                                                     // the file owns it now
    sf_command(file.get(), SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);  // its time stamp would make runs differ
    sf_command(file.get(), SFC_SET_CLIPPING, nullptr, SF_TRUE);
    sf_command(file.get(), SFC_RF64_AUTO_DOWNGRADE, nullptr, SF_TRUE);  // unknown length, small after all
    return true;
}

bool OutputWriter::writeFrames(std::string& error) {
    size_t n = converted.size();
    if (frameLimit >= 0) n = size_t(std::clamp(frameLimit - framesWritten, 0LL, (long long)n));
    stereo.resize(n * outputChannels);
    for (size_t i = 0; i < n; ++i) stereo[2 * i] = stereo[2 * i + 1] = converted[i];
    converted.clear();
    if (sf_writef_float(file.get(), stereo.data(), sf_count_t(n)) != sf_count_t(n)) {
        error = "cannot write " + target.shownName + ": " + sf_strerror(file.get());
        return false;
    }
    framesWritten += static_cast<long long>(n);
    return true;
}

bool OutputWriter::write(const float* samples, size_t count, std::string& error) {
    toOutput.push(samples, count, converted);
    return writeFrames(error);
}

bool OutputWriter::finish(long long engineTotal, std::string& error) {
    toOutput.finish(converted);
    // The converter's tail: exactly as many frames as the engine's output lasts.
    frameLimit = toOutput.outputLength(engineTotal);
    if (framesWritten + static_cast<long long>(converted.size()) < frameLimit)
        converted.resize(size_t(frameLimit - framesWritten), 0.0f);
    if (!writeFrames(error)) return false;
    if (sf_close(file.release()) != 0) {
        error = "cannot finish " + target.shownName;
        return false;
    }
    return true;
}

}  // namespace tolvek
