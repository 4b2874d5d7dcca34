// The offline tool end to end: signals through the whole engine, and every
// kind of bad input refused cleanly.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "decibels.h"
#include "tool_runner.h"

namespace {

using tolvek::test::dBAmplitude;
using tolvek::test::ToolRun;

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

// The linear chain's gain with AGC off, from the figures the engine is
// built to: input gain 1000 at level 0 and 0.6918 at 90, the fixed gain
// 8.2392, the transform's 4096, then (1 - output level / 200) / 1000.
constexpr double chainGain(double inputGain, int outputLevel) {
    return inputGain * 8.2392 * 4096 * (1 - outputLevel / 200.0) / 1000;
}

constexpr int filterDelay = 1025;  // frames from input to output

// Little-endian WAV pieces, for headers no well-behaved writer makes.
std::string le(uint32_t v, int bytes) {
    std::string s;
    for (int i = 0; i < bytes; ++i) s.push_back(char(v >> (8 * i) & 0xff));
    return s;
}

std::string chunk(const std::string& id, const std::string& payload, std::optional<uint32_t> size = {}) {
    return id + le(size.value_or(uint32_t(payload.size())), 4) + payload + (payload.size() % 2 ? "\0" : "");
}

struct Fmt {
    uint16_t tag = 1;  // 1 integer PCM, 3 float
    uint16_t channels = 1;
    uint32_t rate = 22050;
    uint16_t bits = 16;
    std::optional<uint16_t> align;  // default: channels * bits / 8
    std::optional<uint32_t> size;   // default: the true 16
};

std::string fmtChunk(const Fmt& f) {
    const uint16_t align = f.align.value_or(uint16_t(f.channels * f.bits / 8));
    return chunk(
        "fmt ", le(f.tag, 2) + le(f.channels, 2) + le(f.rate, 4) + le(f.rate * align, 4) + le(align, 2) + le(f.bits, 2),
        f.size);
}

std::string riff(const std::string& chunks, std::optional<uint32_t> size = {}) {
    return "RIFF" + le(size.value_or(uint32_t(chunks.size() + 4)), 4) + "WAVE" + chunks;
}

// 16-bit samples of a 0.25 full-scale tone, as a data chunk's payload.
std::string pcm16Tone(int frames) {
    std::string s;
    for (int i = 0; i < frames; ++i) s += le(uint16_t(int16_t(8192 * std::sin(0.1 * i))), 2);
    return s;
}

std::string floats(const std::vector<float>& x) {
    std::string s(x.size() * 4, '\0');
    std::memcpy(s.data(), x.data(), s.size());
    return s;
}

struct OfflineTool : ::testing::Test {
    tolvek::test::ToolFolder files;
};

TEST_F(OfflineTool, ToneInPassBandLeavesAtTheLinearChainsLevel) {
    const int rate = 22050;
    const auto out = files.filter(tone(1500, 0.05, 3, rate), rate, "--band pass --agc off");
    const double expected = 0.05 / std::sqrt(2) * chainGain(0.6918, 100);
    const double measured = rms(out, 4096, 3 * rate - 4096);
    EXPECT_NEAR(dBAmplitude(measured / expected), 0.0, 0.5) << measured << " vs " << expected;
}

// At the loudest input level and at the start levels: the gain the figures
// give, and every sample reproduced after it and the filter's delay.
TEST_F(OfflineTool, PassAllReproducesTheInputAfterGainAndDelay) {
    const std::tuple<int, std::string, double> cases[] = {
        {5512, "--input-level 0 --output-level 20", chainGain(1000, 20)}, {44100, "", chainGain(0.6918, 100)}};
    for (const auto& [rate, levels, gain] : cases) {
        std::mt19937 rng(rate);
        std::uniform_real_distribution<float> u(-0.5f, 0.5f);
        std::vector<float> in(size_t(rate) * 2);
        for (auto& v : in) v = u(rng);
        const auto out = files.filter(in, rate, "--band passall --agc off " + levels);
        ASSERT_GE(out.size(), in.size() + filterDelay);
        double xy = 0, xx = 0;
        for (size_t n = 0; n < in.size(); ++n) xy += double(out[n + filterDelay]) * in[n], xx += double(in[n]) * in[n];
        const double measured = xy / xx;
        EXPECT_NEAR(measured / gain, 1.0, 2e-4) << rate;
        double worst = 0;
        for (size_t n = 0; n < in.size(); ++n)
            worst = std::max(worst, std::abs(out[n + filterDelay] / measured - in[n]));
        EXPECT_LT(worst, 1e-5) << rate;
        for (size_t n = 0; n < filterDelay; ++n)
            ASSERT_LT(std::abs(out[n] / measured), 1e-5);  // silence before the input
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
        const double drop = dBAmplitude(rms(files.filter(in, rate, "--agc off"), from, to) /
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
        EXPECT_LT(std::abs(dBAmplitude(loud / soft)), 3.0) << speed << ": " << dBAmplitude(loud / soft);
    }
}

TEST_F(OfflineTool, StereoInputUsesTheLeftChannel) {
    const int rate = 22050;
    const auto left = tone(1500, 0.05, 2, rate);
    std::vector<float> stereo(left.size() * 2, 0.9f);
    for (size_t i = 0; i < left.size(); ++i) stereo[2 * i] = left[i];
    EXPECT_EQ(files.filter(stereo, rate, "--agc off", 2), files.filter(left, rate, "--agc off"));
}

// Float files overshoot full scale; up to the largest accepted sample the
// loudest settings stay finite, whatever stages are on.
TEST_F(OfflineTool, OvershootingFloatInputGivesFiniteOutput) {
    std::vector<float> x = tone(1000, 1000, 1.0, 22050);
    x[5000] = -1000;
    for (const char* stages : {"", "--lms 3000 --blanker 1 --comb 50 --notch1 1000 --band pass"}) {
        const std::vector<float> y =
            files.filter(x, 22050, std::string("--agc off --input-level 0 --output-level 0 ") + stages);
        ASSERT_FALSE(y.empty());
        EXPECT_TRUE(std::all_of(y.begin(), y.end(), [](float v) { return std::isfinite(v); })) << stages;
    }
}

TEST_F(OfflineTool, BadInputIsRefusedWithOneLineAndNoOutput) {
    files.writeWav("good.wav", tone(440, 0.1, 0.5, 22050), 22050);
    files.writeWav("rate.wav", tone(100, 0.1, 0.5, 500), 500);
    files.writeWav("empty.wav", {}, 22050);
    {
        std::ofstream junk(files.path("junk.wav"), std::ios::binary);
        for (int i = 0; i < 3000; ++i) junk.put(char(i * 7919 % 251));
        // A valid header whose data chunk runs past the end of the file.
        std::ifstream src(files.path("good.wav"), std::ios::binary);
        const std::string bytes{std::istreambuf_iterator<char>(src), {}};
        std::ofstream(files.path("truncated.wav"), std::ios::binary)
            .write(bytes.data(), std::streamsize(bytes.size() / 2));
    }
    const std::string tone = pcm16Tone(5000);
    const std::string floatFmt = fmtChunk({.tag = 3, .bits = 32});
    const float nan = std::nanf(""), inf = INFINITY;
    const std::pair<std::string, std::string> hostile[] = {
        // file, and what the line names
        {riff(fmtChunk({.size = 0xffffffff}) + chunk("data", tone)), "fmt"},
        {riff(fmtChunk({}) + chunk("data", tone, 0xffffffff)), "truncated"},
        {riff(fmtChunk({}) + chunk("data", tone, 0x80000000)), "truncated"},
        {riff(fmtChunk({}) + chunk("LIST", "INFO", 0xfffffff0) + chunk("data", tone)), "data"},
        {riff(fmtChunk({.channels = 0, .align = 2}) + chunk("data", tone)), "hannel"},
        {riff(fmtChunk({.channels = 65535, .align = 2}) + chunk("data", tone)), "hannel"},
        {riff(fmtChunk({.rate = 0}) + chunk("data", tone)), "hostile-"},
        {riff(fmtChunk({.rate = 4000000000u}) + chunk("data", tone)), "hostile-"},
        {riff(fmtChunk({.bits = 0, .align = 2}) + chunk("data", tone)), "format"},
        {riff(fmtChunk({.bits = 64}) + chunk("data", tone)), "format"},
        {riff(fmtChunk({})), "data"},
        {riff(chunk("data", tone)), "hostile-"},
        {riff(fmtChunk({})).substr(0, 30), "hostile-"},
        {"RIFF", "hostile-"},
        {"", "hostile-"},
        {riff(floatFmt + chunk("data", floats(std::vector<float>(5000, nan)))), "frame 0 holds nan"},
        {riff(floatFmt + chunk("data", floats({0.5f, 0.25f, -inf}))), "frame 2 holds -inf"},
        {riff(fmtChunk({.tag = 3, .channels = 2, .bits = 32}) + chunk("data", floats({0, 0, 0, 3e38f}))),
         "frame 1 holds 3e+38"},
        {riff(floatFmt + chunk("data", floats({0.5f, 1001.0f}))), "frame 1 holds 1001, beyond 1000 times full scale"},
    };
    std::vector<std::string> hostileFiles;
    for (const auto& [bytes, mentions] : hostile) {
        hostileFiles.push_back("hostile-" + std::to_string(hostileFiles.size()) + ".wav");
        files.writeBytes(hostileFiles.back(), bytes);
    }
    const std::string good = files.path("good.wav");
    std::vector<std::pair<std::string, std::string>> cases = {
        // arguments, and what the line names
        {files.path("missing.wav"), "missing.wav"},
        {files.path("junk.wav"), "junk.wav"},
        {files.path("truncated.wav"), "truncated"},
        {files.path("rate.wav"), "500 Hz"},
        {"--channel 2 " + good, "--channel 2"},
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
    for (size_t i = 0; i < hostileFiles.size(); ++i) cases.emplace_back(files.path(hostileFiles[i]), hostile[i].second);
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

// Headers that are odd but leave the audio intact: the same output as the
// plain file's.
TEST_F(OfflineTool, OddButReadableHeadersGiveThePlainFilesOutput) {
    const std::string tone = pcm16Tone(5000);
    const std::string odd[] = {
        riff(fmtChunk({}) + chunk("data", tone), 0xffffffff),
        riff(fmtChunk({}) + chunk("data", tone) + chunk("LIST", "INFO", 0xfffffff0)),
        riff(fmtChunk({}) + chunk("LIST", "INFO" + std::string(1 << 20, 'x')) + chunk("data", tone)),
        riff(fmtChunk({.align = 0}) + chunk("data", tone)),
    };
    auto output = [&](const std::string& bytes) {
        files.writeBytes("in.wav", bytes);
        const ToolRun r = files.run(files.path("in.wav") + " " + files.path("out.wav"));
        EXPECT_EQ(r.status, 0) << r.stderrText;
        std::ifstream in(files.path("out.wav"), std::ios::binary);
        return std::string{std::istreambuf_iterator<char>(in), {}};
    };
    const std::string plain = output(riff(fmtChunk({}) + chunk("data", tone)));
    ASSERT_GT(plain.size(), 5000u * 8);
    for (size_t i = 0; i < std::size(odd); ++i) EXPECT_EQ(output(odd[i]), plain) << "odd header " << i;
}

TEST_F(OfflineTool, UnwritableOutputFails) {
    files.writeWav("in.wav", tone(440, 0.1, 0.5, 22050), 22050);
    const ToolRun r = files.run(files.path("in.wav") + " " + files.path("no/such/dir/out.wav"));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.stderrText.find("out.wav"), std::string::npos);
}

}  // namespace
