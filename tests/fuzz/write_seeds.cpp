// Writes the fuzz targets' seed corpus: short sound files at engine rates and
// others, with one and three channels, in the sample formats WAVs commonly hold, and a few
// argument lists. Usage: write_seeds SOUND_DIR OPTIONS_DIR
#include <sndfile.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

bool writeSound(const std::string& path, int rate, int channels, int format) {
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = format;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!f) return false;
    const int frames = 2100;  // just over one 2048-frame block
    std::vector<float> x(size_t(frames) * size_t(channels));
    for (size_t i = 0; i < x.size(); ++i) x[i] = float(0.5 * std::sin(0.05 * double(i)));
    const bool ok = sf_writef_float(f, x.data(), frames) == frames;
    return sf_close(f) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: write_seeds SOUND_DIR OPTIONS_DIR\n");
        return 2;
    }
    const std::string sounds = argv[1], options = argv[2];
    const std::pair<const char*, int> formats[] = {
        {"pcm16", SF_FORMAT_WAV | SF_FORMAT_PCM_16},   {"float", SF_FORMAT_WAV | SF_FORMAT_FLOAT},
        {"pcm24", SF_FORMAT_WAV | SF_FORMAT_PCM_24},   {"u8", SF_FORMAT_WAV | SF_FORMAT_PCM_U8},
        {"wavex", SF_FORMAT_WAVEX | SF_FORMAT_PCM_16}, {"aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_16},
        {"flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16},
    };
    for (int rate : {5512, 8000, 11025, 22050, 44100, 48000})
        for (int channels : {1, 3})
            for (const auto& [name, format] : formats) {
                const std::string path =
                    sounds + "/" + name + "-" + std::to_string(rate) + "-" + std::to_string(channels);
                if (!writeSound(path, rate, channels, format)) {
                    std::fprintf(stderr, "cannot write %s: %s\n", path.c_str(), sf_strerror(nullptr));
                    return 1;
                }
            }
    const char* lines[] = {
        "in.wav\nout.wav",
        "--band\npass\n--lower\n300\n--upper\n3000\nin.wav\nout.wav",
        "\x01--band\nreject\n--notch1\n900\n--notch4\n2500\nin.wav\nout.wav",
        "\x02--agc\nfast\n--input-level\n60\n--output-level\n20\n--test-noise\nin.wav\nout.wav",
        "\x03--lms\n64\n--blanker\n50\n--comb\n60\nin.wav\nout.wav",
        "--agc\noff\n--notch2\n1e3\n--notch3\n0x10\nin.wav\nout.wav",
        "--channel\n2\n--engine-rate\n11025\n--out-rate\nengine\n--format\npcm24\n-\n-",
        "\x7d--notch1\n20000\n--format\npcm16\n--level-log\nlevel.csv\n--quiet\nin.flac\nout.wav",
        "--help",
    };
    int n = 0;
    for (const char* line : lines) {
        std::ofstream(options + "/args-" + std::to_string(n++), std::ios::binary) << line;
    }
    return 0;
}
