#include "sound_file.h"

#include <sndfile.h>

namespace tolvek::test {

long scanSound(const std::string& path, Sound& s, const std::function<void(const float*, long)>& piece) {
    SF_INFO info{};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    s = {f != nullptr, info.samplerate, info.channels, long(info.frames), {}};
    if (!f) return -1;
    std::vector<float> buffer(size_t(65536 * info.channels));
    long total = 0;
    for (sf_count_t got; (got = sf_readf_float(f, buffer.data(), 65536)) > 0; total += long(got))
        piece(buffer.data(), long(got));
    if (sf_error(f) != SF_ERR_NO_ERROR) total = -1;
    sf_close(f);
    return total;
}

Sound readSound(const std::string& path) {
    Sound s;
    const auto append = [&](const float* p, long n) { s.samples.insert(s.samples.end(), p, p + n * s.channels); };
    if (scanSound(path, s, append) != s.headerFrames) s.opened = false;  // a short read is a broken file
    return s;
}

bool writeSound(const std::string& path, const std::vector<float>& samples, int rate, int channels, int format) {
    SF_INFO info{0, rate, channels, format ? format : SF_FORMAT_WAV | SF_FORMAT_FLOAT, 0, 0};
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!f) return false;
    const bool ok = sf_write_float(f, samples.data(), sf_count_t(samples.size())) == sf_count_t(samples.size());
    return sf_close(f) == 0 && ok;
}

}  // namespace tolvek::test
