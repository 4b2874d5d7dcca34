// The offline tool end to end: signals through the whole engine, and every
// kind of bad input refused cleanly.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "agc.h"
#include "engine.h"
#include "tool_runner.h"

namespace fs = std::filesystem;

namespace {

using tolvek::tooltest::ToolFolder;
using tolvek::tooltest::ToolRun;

class OfflineTool : public ::testing::Test {
   protected:
    ToolFolder files{::testing::UnitTest::GetInstance()->current_test_info()->name()};

    std::string path(const std::string& name) const { return files.path(name); }
    ToolRun run(const std::string& args) const { return files.run(args); }
    void writeWav(const std::string& name, const std::vector<float>& samples, int rate, int channels = 1) {
        ASSERT_TRUE(files.writeWav(name, samples, rate, channels)) << name;
    }

    // Filters `in.wav` with `args`, expecting success; the output's left
    // channel, checked to equal the right one.
    std::vector<float> filter(const std::string& args) {
        const ToolRun r = run(args + " " + path("in.wav") + " " + path("out.wav"));
        EXPECT_EQ(r.status, 0) << r.stderrText;
        const auto channels = files.readWav("out.wav");
        EXPECT_EQ(channels.size(), 2u);
        if (channels.size() != 2) return {};
        EXPECT_EQ(channels[0], channels[1]);
        return channels[0];
    }
};

std::vector<float> tone(double hz, double amplitude, double seconds, int rate) {
    std::vector<float> x(size_t(seconds * rate));
    for (size_t i = 0; i < x.size(); ++i) x[i] = float(amplitude * std::sin(2 * M_PI * hz * double(i) / rate));
    return x;
}

// RMS over [from, to) frames.
double rms(const std::vector<float>& x, size_t from, size_t to) {
    double s = 0;
    for (size_t i = from; i < to; ++i) s += double(x[i]) * x[i];
    return std::sqrt(s / double(to - from));
}

double dB(double ratio) { return 20 * std::log10(ratio); }

// The linear chain's gain with AGC off at the given slider levels.
double linearGain(int inputLevel, int outputLevel) {
    return tolvek::inputGainFor(inputLevel) * 1000 * tolvek::Agc::fixedGain() * 3000 * 4096 *
           (1 - outputLevel / 200.0) / 1000;
}

constexpr int filterDelay = 1025;  // frames from input to output

}  // namespace

TEST_F(OfflineTool, ToneInPassBandLeavesAtTheLinearChainsLevel) {
    const int rate = 22050;
    writeWav("in.wav", tone(1500, 0.05, 3, rate), rate);
    const auto out = filter("--band pass --agc off");
    const double expected = 0.05 / std::sqrt(2) * linearGain(90, 100);
    const double measured = rms(out, 4096, 3 * rate - 4096);
    EXPECT_NEAR(dB(measured / expected), 0.0, 0.5) << measured << " vs " << expected;
}

TEST_F(OfflineTool, PassAllReproducesTheInputAfterGainAndDelay) {
    for (int rate : {5512, 44100}) {
        std::mt19937 rng(rate);
        std::uniform_real_distribution<float> u(-0.5f, 0.5f);
        std::vector<float> in(size_t(rate) * 2);
        for (auto& v : in) v = u(rng);
        writeWav("in.wav", in, rate);
        const auto out = filter("--band passall --agc off --input-level 60 --output-level 20");
        ASSERT_GE(out.size(), in.size() + filterDelay);
        const double gain = linearGain(60, 20);
        double worst = 0;
        for (size_t n = 0; n < in.size(); ++n) worst = std::max(worst, std::abs(out[n + filterDelay] / gain - in[n]));
        EXPECT_LT(worst, 1e-5) << rate;
        for (size_t n = 0; n < filterDelay; ++n) ASSERT_LT(std::abs(out[n] / gain), 1e-5);  // silence before the input
    }
}

TEST_F(OfflineTool, RejectedBandAndNotchesRemoveTones) {
    const int rate = 22050;
    const size_t from = 4096, to = 3 * rate - 4096;
    struct Case {
        double hz;
        std::string args;
        double minDrop;
    } cases[] = {
        {1500, "--band reject", 60},
        {900, "--notch1 900", 25},
        {1234, "--notch2 1234", 40},
        {700, "--notch3 700", 55},
        {2500, "--notch4 2500", 55},
    };
    for (const Case& c : cases) {
        writeWav("in.wav", tone(c.hz, 0.05, 3, rate), rate);
        const double open = rms(filter("--agc off"), from, to);
        const double cut = rms(filter("--agc off " + c.args), from, to);
        const double drop = dB(open / cut);
        std::printf("%-16s tone %6.0f Hz drops by %.1f dB\n", c.args.c_str(), c.hz, drop);
        EXPECT_GE(drop, c.minDrop) << c.args;
    }
}

TEST_F(OfflineTool, AgcBringsInputs40dBApartWithin3dB) {
    const int rate = 11025;
    for (const char* speed : {"fast", "slow"}) {
        writeWav("in.wav", tone(800, 0.5, 4, rate), rate);
        const double loud = rms(filter(std::string("--agc ") + speed), rate * 2, rate * 4);
        writeWav("in.wav", tone(800, 0.005, 4, rate), rate);
        const double soft = rms(filter(std::string("--agc ") + speed), rate * 2, rate * 4);
        EXPECT_LT(std::abs(dB(loud / soft)), 3.0) << speed << ": " << dB(loud / soft);
    }
}

TEST_F(OfflineTool, StereoInputUsesTheLeftChannel) {
    const int rate = 22050;
    auto left = tone(1500, 0.05, 2, rate);
    std::vector<float> stereo(left.size() * 2);
    for (size_t i = 0; i < left.size(); ++i) {
        stereo[2 * i] = left[i];
        stereo[2 * i + 1] = 0.9f;
    }
    writeWav("in.wav", stereo, rate, 2);
    const auto fromStereo = filter("--agc off");
    writeWav("in.wav", left, rate);
    EXPECT_EQ(filter("--agc off"), fromStereo);
}

TEST_F(OfflineTool, BadInputIsRefusedWithOneLineAndNoOutput) {
    writeWav("good.wav", tone(440, 0.1, 0.5, 22050), 22050);
    writeWav("rate.wav", tone(440, 0.1, 0.5, 8000), 8000);
    writeWav("empty.wav", {}, 22050);
    {
        std::ofstream junk(path("junk.wav"), std::ios::binary);
        for (int i = 0; i < 3000; ++i) junk.put(char(i * 7919 % 251));
    }
    {
        // A valid header whose data chunk runs past the end of the file.
        std::ifstream src(path("good.wav"), std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(src)), {});
        std::ofstream cut(path("truncated.wav"), std::ios::binary);
        cut.write(bytes.data(), std::streamsize(bytes.size() / 2));
    }
    const std::string good = path("good.wav");
    struct Case {
        std::string args, mentions;
    } cases[] = {
        {path("missing.wav"), "missing.wav"},
        {path("junk.wav"), "junk.wav"},
        {path("truncated.wav"), "truncated"},
        {path("rate.wav"), "8000"},
        {path("empty.wav"), "no audio"},
        {"--lms 0 " + good, "--lms"},
        {"--lms 3001 " + good, "--lms"},
        {"--blanker 101 " + good, "--blanker"},
        {"--comb 55 " + good, "--comb"},
        {"--input-level -1 " + good, "--input-level"},
        {"--output-level 201 " + good, "--output-level"},
        {"--upper 20000 " + good, "--upper"},
        {"--notch3 -5 " + good, "--notch3"},
        {"--notch2 nan " + good, "--notch2"},
        {"--lower 3000 --upper 2000 " + good, "--lower"},
        {"--band wide " + good, "--band"},
        {"--agc " + good, ""},
        {"--frobnicate 1 " + good, "--frobnicate"},
        {good, "missing"},
    };
    for (const Case& c : cases) {
        const std::string out = path("out.wav");
        const ToolRun r = run(c.args + (c.args == good ? "" : " " + out));
        EXPECT_EQ(r.status, 2) << c.args;
        EXPECT_EQ(std::count(r.stderrText.begin(), r.stderrText.end(), '\n'), 1) << r.stderrText;
        EXPECT_NE(r.stderrText.find(c.mentions), std::string::npos) << r.stderrText;
        EXPECT_FALSE(fs::exists(out)) << c.args;
        EXPECT_FALSE(fs::exists(out + ".part")) << c.args;
    }
    const ToolRun help = run("--help");
    EXPECT_EQ(help.status, 0);
}

TEST_F(OfflineTool, UnwritableOutputFailsWithoutLeftovers) {
    writeWav("in.wav", tone(440, 0.1, 0.5, 22050), 22050);
    const ToolRun r = run(path("in.wav") + " " + path("no/such/dir/out.wav"));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.stderrText.find("out.wav"), std::string::npos);
}
