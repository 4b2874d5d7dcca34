// Runs the offline tool on signals made by the tests: WAV in, WAV out.
#pragma once

#include <gtest/gtest.h>
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
    ToolFolder()
        : dir(std::filesystem::temp_directory_path() /
              ("tolvek-tool-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name())) {
        std::filesystem::create_directories(dir);
    }
    ~ToolFolder() { std::filesystem::remove_all(dir); }

    std::string path(const std::string& name) const { return (dir / name).string(); }

    // A 32-bit float WAV of interleaved samples.
    void writeWav(const std::string& name, const std::vector<float>& samples, int rate, int channels = 1) const {
        SF_INFO info{};
        info.samplerate = rate;
        info.channels = channels;
        info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
        SNDFILE* f = sf_open(path(name).c_str(), SFM_WRITE, &info);
        ASSERT_NE(f, nullptr) << name;
        EXPECT_EQ(sf_write_float(f, samples.data(), sf_count_t(samples.size())), sf_count_t(samples.size()));
        EXPECT_EQ(sf_close(f), 0);
    }

    void writeBytes(const std::string& name, const std::string& bytes) const {
        std::ofstream(path(name), std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
    }

    ToolRun run(const std::string& args) const {
        const std::string errFile = path("stderr.txt");
        const int raw = std::system((std::string(OFFLINE_TOOL) + " " + args + " 2>" + errFile).c_str());
        std::ifstream in(errFile);
        return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, {std::istreambuf_iterator<char>(in), {}}};
    }

    // Filters a signal at `rate` with `args`, expecting success; the output's
    // left channel, checked to equal the right one.
    std::vector<float> filter(const std::vector<float>& x, int rate, const std::string& args, int channels = 1) const {
        writeWav("in.wav", x, rate, channels);
        const ToolRun r = run(args + " " + path("in.wav") + " " + path("out.wav"));
        EXPECT_EQ(r.status, 0) << r.stderrText;
        SF_INFO info{};
        SNDFILE* f = sf_open(path("out.wav").c_str(), SFM_READ, &info);
        EXPECT_NE(f, nullptr);
        if (!f) return {};
        EXPECT_EQ(info.channels, 2);
        std::vector<float> frames(size_t(info.frames) * size_t(info.channels)), left, right;
        sf_readf_float(f, frames.data(), info.frames);
        sf_close(f);
        for (size_t i = 0; i + 1 < frames.size(); i += size_t(info.channels)) {
            left.push_back(frames[i]);
            right.push_back(frames[i + 1]);
        }
        EXPECT_EQ(left, right);
        return left;
    }

  private:
    std::filesystem::path dir;
};

}  // namespace tolvek::tooltest
