// Runs the offline tool on signals made by the tests: WAV in, WAV out.
#pragma once

#include <sndfile.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace tolvek::tooltest {

struct ToolRun {
    int status = -1;
    std::string stderrText;
};

// A private folder for one test's files, removed at the end.
class ToolFolder {
   public:
    explicit ToolFolder(const std::string& name)
        : dir(std::filesystem::temp_directory_path() / ("tolvek-tool-" + std::to_string(::getpid()) + "-" + name)) {
        std::filesystem::create_directories(dir);
    }
    ~ToolFolder() { std::filesystem::remove_all(dir); }

    std::string path(const std::string& name) const { return (dir / name).string(); }

    // A 32-bit float WAV of interleaved samples.
    bool writeWav(const std::string& name, const std::vector<float>& samples, int rate, int channels = 1) const {
        SF_INFO info{};
        info.samplerate = rate;
        info.channels = channels;
        info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
        SNDFILE* f = sf_open(path(name).c_str(), SFM_WRITE, &info);
        if (!f) return false;
        const bool ok = sf_write_float(f, samples.data(), sf_count_t(samples.size())) == sf_count_t(samples.size());
        return sf_close(f) == 0 && ok;
    }

    // The channels of a WAV file, de-interleaved; empty when it cannot be read.
    std::vector<std::vector<float>> readWav(const std::string& name) const {
        SF_INFO info{};
        SNDFILE* f = sf_open(path(name).c_str(), SFM_READ, &info);
        if (!f) return {};
        std::vector<float> frames(size_t(info.frames) * size_t(info.channels));
        sf_readf_float(f, frames.data(), info.frames);
        sf_close(f);
        std::vector<std::vector<float>> channels(size_t(info.channels), std::vector<float>(size_t(info.frames)));
        for (size_t i = 0; i < size_t(info.frames); ++i)
            for (size_t c = 0; c < channels.size(); ++c) channels[c][i] = frames[i * channels.size() + c];
        return channels;
    }

    ToolRun run(const std::string& args) const {
        const std::string errFile = path("stderr.txt");
        const std::string cmd = std::string(OFFLINE_TOOL) + " " + args + " 2>" + errFile;
        ToolRun r;
        const int raw = std::system(cmd.c_str());
        r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        std::ifstream in(errFile);
        r.stderrText.assign(std::istreambuf_iterator<char>(in), {});
        return r;
    }

    // Filters a mono signal at `rate` with `args`; returns the left output
    // channel (empty on failure) and the tool's status.
    std::vector<float> filter(const std::vector<float>& x, int rate, const std::string& args, ToolRun* result = nullptr) const {
        std::vector<float> left;
        ToolRun r;
        if (writeWav("in.wav", x, rate)) {
            r = run(args + " " + path("in.wav") + " " + path("out.wav"));
            if (r.status == 0) {
                auto channels = readWav("out.wav");
                if (channels.size() == 2) left = std::move(channels[0]);
            }
        }
        if (result) *result = r;
        return left;
    }

   private:
    std::filesystem::path dir;
};

}  // namespace tolvek::tooltest
