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
    void writeBytes(const std::string& name, const std::string& bytes) const {
        std::ofstream(file(name), std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
    }
    std::string bytes(const std::string& name) const {
        std::ifstream in(file(name), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }

    ToolRun run(const std::string& args) const {
        const int raw = std::system((std::string(OFFLINE_TOOL) + " " + args + " 2>" + file("stderr.txt")).c_str());
        return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, bytes("stderr.txt")};
    }

    // The tool's output for the file `in` with `args`, expecting success.
    Sound output(const std::string& args, const std::string& in = "in.wav") const {
        const ToolRun r = run(args + " " + file(in) + " " + file("out.wav"));
        EXPECT_EQ(r.status, 0) << args << ": " << r.stderrText;
        return readSound(file("out.wav"));
    }

    // Filters a mono signal at `rate` with `args`; the output's left channel,
    // checked to equal the right one.
    std::vector<float> filter(const std::vector<float>& x, int rate, const std::string& args) const {
        EXPECT_TRUE(writeSound(file("in.wav"), x, rate));
        const Sound out = output(args);
        EXPECT_TRUE(out.opened && out.channels == 2);
        std::vector<float> left, right;
        for (long i = 0; i < out.frames(); ++i) left.push_back(out.at(i, 0)), right.push_back(out.at(i, 1));
        EXPECT_EQ(left, right);
        return left;
    }
};

}  // namespace tolvek::test
