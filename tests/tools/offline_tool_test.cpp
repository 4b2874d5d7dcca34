// The offline tool end to end: signals through the whole engine, the files
// listeners have (recorders' rates and formats, pipes, links, interruptions,
// the level log), and every kind of bad input refused cleanly.
#include <gtest/gtest.h>
#include <signal.h>
#include <sndfile.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "decibels.h"
#include "engine.h"
#include "offline_options.h"
#include "signal_level.h"
#include "sound_file.h"
#include "tool_runner.h"

namespace {

using namespace tolvek::test;
namespace fs = std::filesystem;

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

std::string fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

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
    uint16_t tag = 1, channels = 1;  // tag 1 integer PCM, 3 float
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

std::string floats(const std::vector<float>& x) { return {reinterpret_cast<const char*>(x.data()), x.size() * 4}; }

struct OfflineTool : ::testing::Test {
    ToolFolder files;
};

// Drop of a tone against the plain chain: a tone in the pass band keeps its
// level; the rejected band and each notch remove theirs.
TEST_F(OfflineTool, BandAndNotchesKeepOrRemoveTones) {
    const int rate = 22050, from = 4096, to = 3 * rate - 4096;
    const std::tuple<double, std::string, double, double> cases[] = {
        {1500, "--band pass", -0.5, 0.5}, {1500, "--band reject", 60, 999}, {900, "--notch1 900", 25, 999},
        {1234, "--notch2 1234", 40, 999}, {700, "--notch3 700", 55, 999},   {2500, "--notch4 2500", 55, 999}};
    for (const auto& [hz, args, minDrop, maxDrop] : cases) {
        const auto in = tone(hz, 0.05, 3, rate);
        const double drop = dBAmplitude(rms(files.filter(in, rate, "--agc off"), from, to) /
                                        rms(files.filter(in, rate, "--agc off " + args), from, to));
        EXPECT_TRUE(drop >= minDrop && drop <= maxDrop) << args << ": " << drop;
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
        return fileBytes(files.path("out.wav"));
    };
    const std::string plain = output(riff(fmtChunk({}) + chunk("data", tone)));
    ASSERT_GT(plain.size(), 5000u * 8);
    for (size_t i = 0; i < std::size(odd); ++i) EXPECT_EQ(output(odd[i]), plain) << "odd header " << i;
}

// The linear chain with AGC off at the start levels, from the stated stage
// gains: input 0.1^3.16 x 1000, block gain 8.2392, inverse FFT 4096, output
// (1 - 100/200), back to full scale / 1000.
constexpr double linearChainGain = 0.6918 * 8.2392 * 4096 * 0.5 / 1000;
constexpr int block = tolvek::blockLength;

// `signal` of time in channel `used` (from 0) of `channels`, the other
// channels a loud tone the tool must not pick up.
void writeSound(const ToolFolder& files, const std::string& name, int rate, int channels, int format, double seconds,
                const std::function<double(double)>& signal, int used = 0) {
    std::vector<float> x(size_t(seconds * rate) * size_t(channels));
    for (size_t i = 0; i < x.size(); ++i) {
        const double t = double(i / size_t(channels)) / rate;
        x[i] = float(int(i % size_t(channels)) == used ? signal(t) : 0.5 * std::sin(2 * M_PI * 333 * t));
    }
    SF_INFO info{0, rate, channels, format, 0, 0};
    SNDFILE* f = sf_open(files.path(name).c_str(), SFM_WRITE, &info);
    ASSERT_TRUE(f) << sf_strerror(nullptr);
    sf_writef_float(f, x.data(), sf_count_t(x.size()) / channels);
    sf_close(f);
}

std::function<double(double)> toneAt(double hz, double amplitude = 0.05) {
    return [=](double t) { return amplitude * std::sin(2 * M_PI * hz * t); };
}

// A voice: eight harmonics of a pitch wandering around 150 Hz, in syllables.
double speechLike(double t) {
    const double phase = 2 * M_PI * 150 * t + 10 * std::sin(M_PI * t);
    double v = 0;
    for (int h = 1; h <= 8; ++h) v += std::sin(h * phase) / h;
    return 0.03 * std::pow(std::sin(2 * M_PI * 2 * t), 2) * v;
}

// Level of the first channel over frames [from, to).
double rmsDb(const Sound& x, long from, long to) {
    double s = 0;
    for (long i = from; i < to; ++i) s += double(x.at(i)) * x.at(i);
    return dBPower(s / double(to - from));
}

// Names in the test's folder: anything left behind shows here.
std::set<std::string> folderContents(const ToolFolder& files) {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(fs::path(files.path("x")).parent_path()))
        if (e.path().filename() != "stderr.txt") names.insert(e.path().filename().string());
    return names;
}

struct OfflineFiles : OfflineTool {};

TEST_F(OfflineFiles, RecordersRatesRoundTripAtTheirRateWithTheLinearGainAndNotchDepth) {
    // Rate, the engine's, a tone inside the band.
    const std::tuple<int, int, double> cases[] = {
        {8000, 11025, 1000}, {16000, 22050, 2500}, {48000, 44100, 6000}, {96000, 44100, 15000}};
    const std::pair<std::string, int> formats[] = {{"wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT},
                                                   {"flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_24}};
    const double seconds = 3;
    for (const auto& [rate, engineRate, hz] : cases) {
        writeSound(files, "engine.wav", engineRate, 1, SF_FORMAT_WAV | SF_FORMAT_FLOAT, seconds, toneAt(hz));
        auto level = [&](const std::string& in, const std::string& args) {
            const auto r = files.run("--agc off " + args + " " + files.path(in) + " " + files.path("out.wav"));
            EXPECT_EQ(r.status, 0) << r.stderrText;
            return readSound(files.path("out.wav"));
        };
        auto midLevel = [&](const Sound& s) {
            return rmsDb(s, long(s.rate * (seconds - 1) / 2), long(s.rate * (seconds + 1) / 2));
        };
        const std::string notch = "--notch2 " + std::to_string(hz);
        const double engineDepth = midLevel(level("engine.wav", "")) - midLevel(level("engine.wav", notch));
        for (const auto& [ext, format] : formats)
            for (int channels : {1, 2}) {
                SCOPED_TRACE(std::to_string(rate) + " Hz " + ext + " " + std::to_string(channels) + " channels");
                // Stereo at the lower rates through the left channel by default, above through --channel 2.
                const int used = channels == 2 && rate > 16000 ? 1 : 0;
                const std::string in = "in." + ext, pick = used ? "--channel 2" : "";
                writeSound(files, in, rate, channels, format, seconds, toneAt(hz), used);
                const Sound out = level(in, pick);
                EXPECT_EQ(out.rate, rate);
                const long lateBy = out.frames() - long(seconds * rate);
                EXPECT_TRUE(lateBy >= 0 && lateBy <= block * rate / engineRate) << lateBy;
                EXPECT_NEAR(midLevel(out), 20 * std::log10(0.05 / std::sqrt(2) * linearChainGain), 0.5);
                EXPECT_GE(midLevel(out) - midLevel(level(in, pick + " " + notch)), engineDepth - 1.0)
                    << "engine rate's depth " << engineDepth;
            }
    }
}

// Minutes of speech through the pass-all chain come out whole: every sample
// where the delayed input puts it, at the input's rate, to the end.
TEST_F(OfflineFiles, MinutesOfSpeechComeOutWholeAtTheInputsRate) {
    const double seconds = 120;
    // Rate, the engine's, input and output levels, the linear chain's gain (input gain 1000 at level 0).
    const std::tuple<int, int, int, int, double> cases[] = {
        {8000, 11025, 90, 100, linearChainGain}, {48000, 44100, 0, 20, linearChainGain / 0.6918 * 1000 / 0.5 * 0.9}};
    for (const auto& [rate, engineRate, level, outLevel, gain] : cases) {
        SCOPED_TRACE(rate);
        writeSound(files, "in.wav", rate, 1, SF_FORMAT_WAV | SF_FORMAT_FLOAT, seconds, speechLike);
        const std::string args =
            "--agc off --input-level " + std::to_string(level) + " --output-level " + std::to_string(outLevel) + " ";
        ASSERT_EQ(files.run(args + files.path("in.wav") + " " + files.path("out.wav")).status, 0);
        const Sound out = readSound(files.path("out.wav"));
        const double delay = 1025.0 / engineRate;  // the filter's, in s
        ASSERT_GE(double(out.frames()), (seconds + delay) * rate - 1);
        double worst = 0;
        for (size_t m = size_t(0.1 * rate); m < size_t((seconds - 0.1) * rate); ++m)
            worst = std::max(worst, std::abs(out.at(long(m)) / gain - speechLike(double(m) / rate - delay)));
        EXPECT_LT(worst, 1e-4);  // -80 dB of full scale; a sample slipped would be 5e-3
    }
}

TEST_F(OfflineFiles, PipesBothWaysGiveTheFilesSamples) {
    writeSound(files, "in.flac", 48000, 2, SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 2, speechLike);
    const std::string in = files.path("in.flac");
    for (const std::string format : {"float", "pcm16", "pcm24"}) {
        SCOPED_TRACE(format);
        ASSERT_EQ(files.run("--format " + format + " " + in + " " + files.path("file.wav")).status, 0);
        const std::string pipe = "--format " + format + " - - < " + in + " | sox -t wav - " + files.path("sox.wav");
        ASSERT_EQ(files.run(pipe).status, 0) << fileBytes(files.path("stderr.txt"));
        const Sound viaFile = readSound(files.path("file.wav")), viaPipes = readSound(files.path("sox.wav"));
        EXPECT_EQ(viaPipes.rate, 48000);
        ASSERT_EQ(viaPipes.samples.size(), viaFile.samples.size());
        for (size_t i = 0; i < viaFile.samples.size(); ++i)  // sox keeps floats to 24 bits, within full scale
            ASSERT_NEAR(viaPipes.samples[i], std::clamp(viaFile.samples[i], -1.0f, 1.0f), 1.2e-7) << "sample " << i;
    }
}

// Bad input, options and OUT naming IN are refused: exit 2, one line naming
// the problem, the input and its folder as they were.
TEST_F(OfflineTool, BadInputIsRefusedWithOneLineLeavingTheFolderAlone) {
    EXPECT_TRUE(tolvek::test::writeSound(files.path("good.wav"), tone(440, 0.1, 0.5, 22050), 22050) &&
                tolvek::test::writeSound(files.path("rate.wav"), tone(100, 0.1, 0.5, 500), 500) &&
                tolvek::test::writeSound(files.path("empty.wav"), {}, 22050));
    std::string junk;
    for (int i = 0; i < 3000; ++i) junk.push_back(char(i * 7919 % 251));
    files.writeBytes("junk.wav", junk);
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
    for (size_t i = 0; i < std::size(hostile); ++i)
        files.writeBytes("hostile-" + std::to_string(i) + ".wav", hostile[i].first);
    writeSound(files, "in.wav", 48000, 2, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, toneAt(1000));
    const std::string in = files.path("in.wav"), original = fileBytes(in), good = files.path("good.wav");
    const std::string out = " " + files.path("out.wav"), goodOut = good + out;
    fs::create_hard_link(in, files.path("hard.wav"));
    fs::create_symlink(in, files.path("soft.wav"));
    // clang-format off
    std::vector<std::pair<std::string, std::string>> cases = {  // arguments, and what the line names
        {in + " " + in, "is the input file"}, {in + " " + files.path("hard.wav"), "is the input file"},
        {in + " " + files.path("soft.wav"), "is the input file"},
        {in + " --level-log " + files.path("soft.wav") + out, "is the input file"},
        {in + " --channel 3" + out, "3"}, {in + " --channel 0" + out, "--channel"},
        {in + " --engine-rate 48000" + out, "--engine-rate"}, {in + " --out-rate 8000" + out, "input or engine"},
        {in + " --format pcm8" + out, "--format"}, {in + " --engine-rate 11025 --notch1 6000" + out, "5512 Hz"},
        {files.path("missing.wav") + out, "missing.wav"}, {files.path("junk.wav") + out, "junk.wav"},
        {files.path("rate.wav") + out, "500 Hz"}, {files.path("empty.wav") + out, "no audio"},
        {"--lms 0 " + goodOut, "--lms"}, {"--output-level 201 " + goodOut, "--output-level"}, {"--comb 55 " + goodOut, "--comb"},
        {"--upper 20000 " + goodOut, "--upper"}, {"--notch2 nan " + goodOut, "--notch2"},
        {"--lower 3000 --upper 2000 " + goodOut, "--lower"}, {"--band wide " + goodOut, "--band"}, {"--agc " + goodOut, ""},
        {"--frobnicate 1 " + goodOut, "--frobnicate"}, {good, "missing"}};
    // clang-format on
    for (size_t i = 0; i < std::size(hostile); ++i)
        cases.emplace_back(files.path("hostile-" + std::to_string(i) + ".wav") + out, hostile[i].second);
    const auto before = folderContents(files);
    for (const auto& [args, mentions] : cases) {
        const auto r = files.run(args);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_EQ(std::count(r.stderrText.begin(), r.stderrText.end(), '\n'), 1) << r.stderrText;
        EXPECT_NE(r.stderrText.find(mentions), std::string::npos) << r.stderrText;
        EXPECT_EQ(fileBytes(in), original) << args;
        EXPECT_EQ(folderContents(files), before) << args;
    }
    const ToolRun r = files.run(good + " " + files.path("no/such/dir/out.wav"));  // unwritable: exit 1
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.stderrText.find("out.wav"), std::string::npos);
}

TEST_F(OfflineFiles, SignalsMidRunLeaveNeitherTemporaryNorOutput) {
    writeSound(files, "head.wav", 48000, 1, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 1, speechLike);
    const std::string head = fileBytes(files.path("head.wav"));
    for (int signal : {SIGINT, SIGTERM}) {
        // Standard input stays open, so the tool is mid-run until the signal.
        int feed[2];
        ASSERT_EQ(::pipe(feed), 0);
        const std::string out = files.path("out.wav"), log = files.path("level.csv");
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::dup2(feed[0], 0);
            ::close(feed[1]);
            ::execl(OFFLINE_TOOL, OFFLINE_TOOL, "--level-log", log.c_str(), "-", out.c_str(), nullptr);
            ::_exit(127);
        }
        ::close(feed[0]);
        ASSERT_EQ(::write(feed[1], head.data(), head.size() / 2), ssize_t(head.size() / 2));
        int status = 0;
        while (folderContents(files).size() < 3 && ::waitpid(pid, &status, WNOHANG) == 0)
            ::usleep(10000);  // until both temporaries are made
        ::kill(pid, signal);
        ::waitpid(pid, &status, 0);
        ::close(feed[1]);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << status;
        EXPECT_EQ(folderContents(files), std::set<std::string>{"head.wav"});
    }
}

TEST_F(OfflineFiles, LevelLogFollowsAToneSwitchedOnAndOffAsTheChartWould) {
    for (int rate : {11025, 44100}) {
        SCOPED_TRACE(rate);
        auto signal = [](double t) { return (t >= 1 && t < 2 ? 0.3 : 0.0003) * std::sin(2 * M_PI * 1000 * t); };
        const size_t length = size_t(3 * rate);
        writeSound(files, "in.wav", rate, 1, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 3, signal);
        const std::string log = files.path("level.csv"), io = files.path("in.wav") + " " + files.path("out.wav");
        ASSERT_EQ(files.run("--agc off --level-log " + log + " " + io).status, 0);
        // The chart's level after each block of the same engine, in-process.
        auto engine = std::make_unique<tolvek::Engine>();
        std::string error;
        tolvek::configureEngine(*engine, *tolvek::parseOfflineOptions({"--agc", "off", "in", "out"}, error), rate);
        std::vector<float> stereo(2 * block), output(2 * block), levels;
        for (size_t at = 0; at < length + block; at += block) {
            for (size_t i = 0; i < size_t(block); ++i)
                stereo[2 * i] = at + i < length ? float(signal(double(at + i) / rate)) : 0.0f;
            engine->process(stereo.data(), output.data(), block);
            levels.push_back(tolvek::spectrumLevel(engine->shared));
        }
        // Each 50 ms row holds the level of the block playing then, give or take a row.
        std::ifstream csv(log);
        std::string line;
        std::getline(csv, line);  // the column names
        int rows = 0;
        for (double t, dB; std::getline(csv, line); ++rows) {
            ASSERT_EQ(std::sscanf(line.c_str(), "%lf,%lf", &t, &dB), 2) << line;
            EXPECT_NEAR(t, rows * 0.05, 1e-9);
            double nearest = 1e9;
            for (double near : {t - 0.05, t, t + 0.05}) {
                const size_t b = std::min(levels.size() - 1, size_t(std::max(0.0, near) * rate / block));
                nearest = std::min(nearest, std::abs(levels[b] - dB));
            }
            EXPECT_LT(nearest, 0.006) << "row " << rows << ": " << line;
        }
        EXPECT_EQ(rows, int(std::ceil(double(length + 1025) * 20 / rate)));
    }
}

}  // namespace
