// Runs the offline tool on signals made by the tests: WAV in, WAV out.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "sound_file.h"
#include "temp_dir.h"

namespace tolvek::test {

struct ToolRun {
    int status = -1;
    std::string stderrText;
};

// A private folder for one test's files, and the tool run on them.
struct ToolFolder : TempDir {
    std::string path(const std::string& name) const { return file(name); }

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
        EXPECT_TRUE(writeSound(path("in.wav"), x, rate, channels));
        const ToolRun r = run(args + " " + path("in.wav") + " " + path("out.wav"));
        EXPECT_EQ(r.status, 0) << r.stderrText;
        const Sound out = test::readSound(path("out.wav"));
        EXPECT_TRUE(out.opened);
        EXPECT_EQ(out.channels, 2);
        std::vector<float> left, right;
        for (long i = 0; i < out.frames(); ++i) left.push_back(out.at(i, 0)), right.push_back(out.at(i, 1));
        EXPECT_EQ(left, right);
        return left;
    }
};

}  // namespace tolvek::test
