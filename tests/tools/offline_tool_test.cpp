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
#include <tuple>
#include <vector>

#include "agc.h"
#include "engine.h"
#include "tool_runner.h"

namespace {

using tolvek::tooltest::ToolRun;

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

struct OfflineTool : ::testing::Test {
    tolvek::tooltest::ToolFolder files;
};

TEST_F(OfflineTool, ToneInPassBandLeavesAtTheLinearChainsLevel) {
    const int rate = 22050;
    const auto out = files.filter(tone(1500, 0.05, 3, rate), rate, "--band pass --agc off");
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
        const auto out = files.filter(in, rate, "--band passall --agc off --input-level 60 --output-level 20");
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
    const std::tuple<double, std::string, double> cases[] = {
        {1500, "--band reject", 60}, {900, "--notch1 900", 25},   {1234, "--notch2 1234", 40},
        {700, "--notch3 700", 55},   {2500, "--notch4 2500", 55},
    };
    for (const auto& [hz, args, minDrop] : cases) {
        const auto in = tone(hz, 0.05, 3, rate);
        const double drop = dB(rms(files.filter(in, rate, "--agc off"), from, to) /
                               rms(files.filter(in, rate, "--agc off " + args), from, to));
        std::printf("%-16s tone %6.0f Hz drops by %.1f dB\n", args.c_str(), hz, drop);
        EXPECT_GE(drop, minDrop) << args;
    }
}

TEST_F(OfflineTool, AgcBringsInputs40dBApartWithin3dB) {
    const int rate = 11025;
    for (const std::string speed : {"fast", "slow"}) {
        const double loud = rms(files.filter(tone(800, 0.5, 4, rate), rate, "--agc " + speed), rate * 2, rate * 4);
        const double soft = rms(files.filter(tone(800, 0.005, 4, rate), rate, "--agc " + speed), rate * 2, rate * 4);
        EXPECT_LT(std::abs(dB(loud / soft)), 3.0) << speed << ": " << dB(loud / soft);
    }
}

TEST_F(OfflineTool, StereoInputUsesTheLeftChannel) {
    const int rate = 22050;
    const auto left = tone(1500, 0.05, 2, rate);
    std::vector<float> stereo(left.size() * 2, 0.9f);
    for (size_t i = 0; i < left.size(); ++i) stereo[2 * i] = left[i];
    EXPECT_EQ(files.filter(stereo, rate, "--agc off", 2), files.filter(left, rate, "--agc off"));
}

TEST_F(OfflineTool, BadInputIsRefusedWithOneLineAndNoOutput) {
    files.writeWav("good.wav", tone(440, 0.1, 0.5, 22050), 22050);
    files.writeWav("rate.wav", tone(440, 0.1, 0.5, 8000), 8000);
    files.writeWav("empty.wav", {}, 22050);
    {
        std::ofstream junk(files.path("junk.wav"), std::ios::binary);
        for (int i = 0; i < 3000; ++i) junk.put(char(i * 7919 % 251));
        // A valid header whose data chunk runs past the end of the file.
        std::ifstream src(files.path("good.wav"), std::ios::binary);
        const std::string bytes{std::istreambuf_iterator<char>(src), {}};
        std::ofstream(files.path("truncated.wav"), std::ios::binary).write(bytes.data(), std::streamsize(bytes.size() / 2));
    }
    const std::string good = files.path("good.wav");
    const std::pair<std::string, std::string> cases[] = {  // arguments, and what the line names
        {files.path("missing.wav"), "missing.wav"},
        {files.path("junk.wav"), "junk.wav"},
        {files.path("truncated.wav"), "truncated"},
        {files.path("rate.wav"), "8000"},
        {files.path("empty.wav"), "no audio"},
        {"--lms 0 " + good, "--lms"},
        {"--output-level 201 " + good, "--output-level"},
        {"--comb 55 " + good, "--comb"},
        {"--upper 20000 " + good, "--upper"},
        {"--notch2 nan " + good, "--notch2"},
        {"--lower 3000 --upper 2000 " + good, "--lower"},
        {"--band wide " + good, "--band"},
        {"--agc " + good, ""},
        {"--frobnicate 1 " + good, "--frobnicate"},
        {good, "missing"},
    };
    const std::string out = files.path("out.wav");
    for (const auto& [args, mentions] : cases) {
        const ToolRun r = files.run(args + (args == good ? "" : " " + out));
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_EQ(std::count(r.stderrText.begin(), r.stderrText.end(), '\n'), 1) << r.stderrText;
        EXPECT_NE(r.stderrText.find(mentions), std::string::npos) << r.stderrText;
        EXPECT_FALSE(std::filesystem::exists(out)) << args;
        EXPECT_FALSE(std::filesystem::exists(out + ".part")) << args;
    }
}

TEST_F(OfflineTool, UnwritableOutputFails) {
    files.writeWav("in.wav", tone(440, 0.1, 0.5, 22050), 22050);
    const ToolRun r = files.run(files.path("in.wav") + " " + files.path("no/such/dir/out.wav"));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.stderrText.find("out.wav"), std::string::npos);
}

}  // namespace
