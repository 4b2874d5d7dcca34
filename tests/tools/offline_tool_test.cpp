// The offline tool end to end: signals through the whole engine, the files
// listeners have (recorders' rates and formats, pipes, links, interruptions,
// the level log), and every kind of bad input refused cleanly. Then the
// noise-reduction stages through it, and so through the whole engine: the
// comb, the LMS and the blanker at the start settings (input level 90, AGC
// slow) and across the input-level range; the automatic notch on carriers, a
// glide and speech alone; the spectral noise reduction beside speexdsp's
// preprocessor. Speech is spoken speech as well as tones.
#include <gtest/gtest.h>
#include <signal.h>
#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <numeric>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "decibels.h"
#include "engine.h"
#include "noise_reduction_signals.h"
#include "offline_options.h"
#include "signal_level.h"
#include "speex_reference.h"
#include "tool_runner.h"

namespace {

using namespace tolvek::test;
using Signal = std::function<double(double)>;  // of time in seconds
using Samples = std::vector<float>;

constexpr int block = tolvek::blockLength;
constexpr int floatWav = SF_FORMAT_WAV | SF_FORMAT_FLOAT;

// The linear chain with AGC off at the start levels, from the stated stage
// gains: input 0.1^3.16 x 1000, block gain 8.2392, inverse FFT 4096, output
// (1 - 100/200), back to full scale / 1000.
constexpr double linearChainGain = 0.6918 * 8.2392 * 4096 * 0.5 / 1000;

Signal toneAt(double hz, double amplitude = 0.05) {
    return [=](double t) { return amplitude * std::sin(2 * M_PI * hz * t); };
}

// A voice: eight harmonics of a pitch wandering around 150 Hz, in syllables.
double speechLike(double t) {
    const double phase = 2 * M_PI * 150 * t + 10 * std::sin(M_PI * t);
    double v = 0;
    for (int h = 1; h <= 8; ++h) v += std::sin(h * phase) / h;
    return 0.03 * std::pow(std::sin(2 * M_PI * 2 * t), 2) * v;
}

// Level in dB of the first channel over seconds [from, to).
double levelDb(const Sound& x, double from, double to) {
    double s = 0;
    const long a = long(from * x.rate), b = long(to * x.rate);
    for (long i = a; i < b; ++i) s += double(x.at(i)) * x.at(i);
    return dBPower(s / double(b - a));
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

std::string riff(const std::string& chunks, std::optional<uint32_t> size = {}) {
    return "RIFF" + le(size.value_or(uint32_t(chunks.size() + 4)), 4) + "WAVE" + chunks;
}

// A data chunk of 5000 16-bit samples of a 0.25 full-scale tone, or of floats.
std::string pcm16Data(std::optional<uint32_t> size = {}) {
    std::string s;
    for (int i = 0; i < 5000; ++i) s += le(uint16_t(int16_t(8192 * std::sin(0.1 * i))), 2);
    return chunk("data", s, size);
}

std::string floatData(const std::vector<float>& x) {
    return chunk("data", {reinterpret_cast<const char*>(x.data()), x.size() * 4});
}

// A WAV: the fmt chunk `f`, then `chunks` (by default the tone's data).
std::string wav(const Fmt& f = {}, const std::string& chunks = pcm16Data(), std::optional<uint32_t> riffSize = {}) {
    const uint16_t align = f.align.value_or(uint16_t(f.channels * f.bits / 8));
    const std::string fmt =
        le(f.tag, 2) + le(f.channels, 2) + le(f.rate, 4) + le(f.rate * align, 4) + le(align, 2) + le(f.bits, 2);
    return riff(chunk("fmt ", fmt, f.size) + chunks, riffSize);
}

struct OfflineTool : ::testing::Test {
    ToolFolder files;

    // `signal` in channel `used` (from 0) of `channels`, the other channels a
    // loud tone the tool must not pick up.
    void write(const std::string& name, int rate, double seconds, const Signal& signal, int channels = 1,
               int format = floatWav, int used = 0) {
        std::vector<float> x(size_t(seconds * rate) * size_t(channels));
        for (size_t i = 0; i < x.size(); ++i) {
            const double t = double(i / size_t(channels)) / rate;
            x[i] = float(int(i % size_t(channels)) == used ? signal(t) : 0.5 * std::sin(2 * M_PI * 333 * t));
        }
        ASSERT_TRUE(writeSound(files.file(name), x, rate, channels, format));
    }

    Sound filter(int rate, double seconds, const Signal& signal, const std::string& args) {
        write("in.wav", rate, seconds, signal);
        return files.output(args);
    }
};

TEST_F(OfflineTool, AgcBringsInputs40dBApartWithin3dB) {
    auto level = [&](double amplitude, const std::string& speed) {
        return levelDb(filter(11025, 4, toneAt(800, amplitude), "--agc " + speed), 2, 4);
    };
    for (const std::string speed : {"fast", "slow"})
        EXPECT_LT(std::abs(level(0.5, speed) - level(0.005, speed)), 3.0) << speed;
}

// Float files overshoot full scale; a square wave at the largest accepted
// sample, through the loudest settings, stays finite whatever stages are on.
TEST_F(OfflineTool, OvershootingFloatInputGivesFiniteOutput) {
    const Signal square = [](double t) { return std::sin(2 * M_PI * 1000 * t) < 0 ? -1000.0 : 1000.0; };
    for (const std::string stages : {"", "--lms 3000 --blanker 1 --comb 50 --notch1 1000 --band pass"}) {
        const Sound y = filter(22050, 1, square, "--agc off --input-level 0 --output-level 0 " + stages);
        ASSERT_GT(y.frames(), 22050);
        EXPECT_TRUE(std::all_of(y.samples.begin(), y.samples.end(), [](float v) { return std::isfinite(v); }));
    }
}

// Headers that are odd but leave the audio intact: the plain file's output.
TEST_F(OfflineTool, OddButReadableHeadersGiveThePlainFilesOutput) {
    auto output = [&](const std::string& bytes) {
        files.writeBytes("in.wav", bytes);
        return files.output("").samples;
    };
    const std::vector<float> plain = output(wav());
    ASSERT_GT(plain.size(), 5000u * 2);
    const std::string odd[] = {
        wav({}, pcm16Data(), 0xffffffff),
        wav({}, pcm16Data() + chunk("LIST", "INFO", 0xfffffff0)),
        wav({}, chunk("LIST", "INFO" + std::string(1 << 20, 'x')) + pcm16Data()),
        wav({.align = 0}),
    };
    for (size_t i = 0; i < std::size(odd); ++i) EXPECT_EQ(output(odd[i]), plain) << "odd header " << i;
}

// Recorders' rates, formats and channels come out at their rate and whole:
// every sample of a voice where the delayed input puts it, scaled by the
// linear chain's gain (two rows two minutes long, at the lowest and highest
// levels); a tone in a pass band at that gain, and each notch, the reject
// band and a pass band beside it taking it away, as deeply as at the engine's
// own rate (how deeply, the engine's mask and overlap-save tests settle).
TEST_F(OfflineTool, RecordersFilesComeOutWholeAtTheirRate) {
    // Rate, the engine's, seconds, input and output levels, the chain's gain
    // (input gain 1000 at level 0), a tone, and the options that remove it.
    const std::tuple<int, int, double, int, int, double, int, std::vector<std::string>> cases[] = {
        {8000, 11025, 120, 90, 100, linearChainGain, 1000, {"--notch1 1000", "--band reject --lower 700 --upper 1300"}},
        {16000, 22050, 3, 90, 100, linearChainGain, 2500, {"--notch2 2500", "--band pass --lower 500 --upper 1500"}},
        {48000, 44100, 120, 0, 20, linearChainGain / 0.6918 * 1000 / 0.5 * 0.9, 6000, {"--notch3 6000"}},
        {96000, 44100, 3, 90, 100, linearChainGain, 15000, {"--notch4 15000"}}};
    for (const auto& [rate, engineRate, seconds, level, outLevel, gain, hz, removals] : cases) {
        const std::string levels =
            "--agc off --input-level " + std::to_string(level) + " --output-level " + std::to_string(outLevel);
        const double delay = 1025.0 / engineRate;  // the filter's, in s
        for (const int format : {floatWav, SF_FORMAT_FLAC | SF_FORMAT_PCM_24})
            for (int channels : {1, 2}) {
                SCOPED_TRACE(testing::Message() << rate << " Hz, format " << format << ", " << channels << " channels");
                // Stereo at the lower rates through the left channel by default, above through --channel 2.
                const int used = channels == 2 && rate > 16000 ? 1 : 0;
                write("in", rate, seconds, speechLike, channels, format, used);
                const Sound out = files.output(levels + (used ? " --channel 2" : ""), "in");
                EXPECT_EQ(out.rate, rate);
                const long lateBy = out.frames() - long(seconds * rate);
                EXPECT_TRUE(double(lateBy) >= delay * rate - 1 && lateBy <= block * rate / engineRate) << lateBy;
                double worst = 0;
                for (long m = long(0.1 * rate); m < long((seconds - 0.1) * rate); ++m)
                    worst = std::max(worst, std::abs(out.at(m) / gain - speechLike(double(m) / rate - delay)));
                EXPECT_LT(worst, 1e-4);  // -80 dB of full scale; a sample slipped would be 5e-3
            }
        const std::string pass =
            " --band pass --lower " + std::to_string(hz / 2) + " --upper " + std::to_string(hz * 5 / 4);
        auto depth = [&](int fileRate, const std::string& removal) {
            write("tone.wav", fileRate, 3, toneAt(hz));
            const double passed = levelDb(files.output(levels + pass, "tone.wav"), 1, 2);
            EXPECT_NEAR(passed, dBAmplitude(0.05 / std::sqrt(2) * gain), 0.5) << fileRate;
            return passed - levelDb(files.output(levels + " " + removal, "tone.wav"), 1, 2);
        };
        for (const std::string& removal : removals) {
            const double engineDepth = depth(engineRate, removal);
            EXPECT_GE(engineDepth, 20.0) << removal;
            EXPECT_GE(depth(rate, removal), engineDepth - 1.0) << removal << " at " << rate << " Hz";
        }
    }
}

TEST_F(OfflineTool, PipesBothWaysGiveTheFilesSamples) {
    write("in.flac", 48000, 2, speechLike, 2, SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
    const std::string in = files.file("in.flac");
    for (const std::string format : {"float", "pcm16", "pcm24"}) {
        SCOPED_TRACE(format);
        const Sound viaFile = files.output("--format " + format, "in.flac");
        const ToolRun r = files.run("--format " + format + " - - < " + in + " | sox -t wav - " + files.file("sox.wav"));
        ASSERT_EQ(r.status, 0) << r.stderrText;
        const Sound viaPipes = readSound(files.file("sox.wav"));
        EXPECT_EQ(viaPipes.rate, 48000);
        ASSERT_EQ(viaPipes.samples.size(), viaFile.samples.size());
        for (size_t i = 0; i < viaFile.samples.size(); ++i)  // sox keeps floats to 24 bits, within full scale
            ASSERT_NEAR(viaPipes.samples[i], std::clamp(viaFile.samples[i], -1.0f, 1.0f), 1.2e-7) << "sample " << i;
    }
}

// Bad input, options and OUT naming IN are refused: exit 2, one line naming
// the problem, the input and its folder as they were.
TEST_F(OfflineTool, BadInputIsRefusedWithOneLineLeavingTheFolderAlone) {
    int made = 0;
    auto file = [&](const std::string& bytes) {  // a file of these bytes, and OUT after it
        const std::string name = "bytes-" + std::to_string(made++) + ".wav";
        files.writeBytes(name, bytes);
        return files.file(name) + " " + files.file("out.wav");
    };
    std::string junk;
    for (int i = 0; i < 3000; ++i) junk.push_back(char(i * 7919 % 251));
    const Fmt floats{.tag = 3, .bits = 32};
    const std::string out = " " + files.file("out.wav"), good = file(wav()), goodIn = files.file("bytes-0.wav");
    file(wav({.channels = 2, .rate = 48000}));
    const std::string in = files.file("bytes-1.wav"), original = files.bytes("bytes-1.wav");
    std::filesystem::create_hard_link(in, files.file("hard.wav"));
    std::filesystem::create_symlink(in, files.file("soft.wav"));
    // clang-format off
    const std::pair<std::string, std::string> cases[] = {  // arguments, and what the line names
        {in + " " + in, "is the input file"}, {in + " " + files.file("hard.wav"), "is the input file"},
        {in + " " + files.file("soft.wav"), "is the input file"},
        {in + " --level-log " + files.file("soft.wav") + out, "is the input file"},
        {in + " --channel 3" + out, "3"}, {in + " --channel 0" + out, "--channel"},
        {in + " --engine-rate 48000" + out, "--engine-rate"}, {in + " --out-rate 8000" + out, "input or engine"},
        {in + " --format pcm8" + out, "--format"}, {in + " --engine-rate 11025 --notch1 6000" + out, "5512 Hz"},
        {files.file("missing.wav") + out, "missing.wav"}, {file(junk), "bytes-2.wav"},
        {file(wav({.rate = 500})), "500 Hz"}, {file(wav({}, chunk("data", ""))), "no audio"},
        {"--lms 0 " + good, "--lms"}, {"--output-level 201 " + good, "--output-level"}, {"--comb 55 " + good, "--comb"},
        {"--upper 20000 " + good, "--upper"}, {"--notch2 nan " + good, "--notch2"},
        {"--lower 3000 --upper 2000 " + good, "--lower"}, {"--band wide " + good, "--band"}, {"--agc " + good, ""},
        {"--frobnicate 1 " + good, "--frobnicate"}, {goodIn, "missing"},
        // Hostile headers and samples.
        {file(wav({.size = 0xffffffff})), "fmt"}, {file(wav({}, pcm16Data(0xffffffff))), "truncated"},
        {file(wav({}, pcm16Data(0x80000000))), "truncated"},
        {file(wav({}, chunk("LIST", "INFO", 0xfffffff0) + pcm16Data())), "data"},
        {file(wav({.channels = 0, .align = 2})), "hannel"}, {file(wav({.channels = 65535, .align = 2})), "hannel"},
        {file(wav({.rate = 0})), "bytes-"}, {file(wav({.rate = 4000000000u})), "bytes-"},
        {file(wav({.bits = 0, .align = 2})), "format"}, {file(wav({.bits = 64})), "format"},
        {file(wav({}, "")), "data"}, {file(riff(pcm16Data())), "bytes-"}, {file(wav().substr(0, 30)), "bytes-"},
        {file("RIFF"), "bytes-"}, {file(""), "bytes-"},
        {file(wav(floats, floatData(std::vector<float>(5000, NAN)))), "frame 0 holds nan"},
        {file(wav(floats, floatData({0.5f, 0.25f, -INFINITY}))), "frame 2 holds -inf"},
        {file(wav({.tag = 3, .channels = 2, .bits = 32}, floatData({0, 0, 0, 3e38f}))), "frame 1 holds 3e+38"},
        {file(wav(floats, floatData({0.5f, 1001.0f}))), "frame 1 holds 1001, beyond 1000 times full scale"}};
    // clang-format on
    const size_t before = files.fileCount() + 1;  // and the tool's stderr.txt
    for (const auto& [args, mentions] : cases) {
        const auto r = files.run(args);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_EQ(std::count(r.stderrText.begin(), r.stderrText.end(), '\n'), 1) << r.stderrText;
        EXPECT_NE(r.stderrText.find(mentions), std::string::npos) << r.stderrText;
        EXPECT_EQ(files.bytes("bytes-1.wav"), original) << args;
        EXPECT_EQ(files.fileCount(), before) << args;  // nothing left behind
    }
    const ToolRun r = files.run(goodIn + " " + files.file("no/such/dir/out.wav"));  // exit 1
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.stderrText.find("out.wav"), std::string::npos);
}

TEST_F(OfflineTool, SignalsMidRunLeaveNeitherTemporaryNorOutput) {
    write("head.wav", 48000, 1, speechLike);
    const std::string head = files.bytes("head.wav");
    const std::string out = files.file("out.wav"), log = files.file("level.csv");
    for (int signal : {SIGINT, SIGTERM}) {
        // Standard input stays open, so the tool is mid-run until the signal.
        int feed[2];
        ASSERT_EQ(::pipe(feed), 0);
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
        while (files.fileCount() < 3 && ::waitpid(pid, &status, WNOHANG) == 0)
            ::usleep(10000);  // until both temporaries are made
        ::kill(pid, signal);
        ::waitpid(pid, &status, 0);
        ::close(feed[1]);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << status;
        EXPECT_EQ(files.fileCount(), 1u);  // head.wav alone
    }
}

TEST_F(OfflineTool, LevelLogFollowsAToneSwitchedOnAndOffAsTheChartWould) {
    const Signal signal = [](double t) { return (t >= 1 && t < 2 ? 0.3 : 0.0003) * std::sin(2 * M_PI * 1000 * t); };
    for (int rate : {11025, 44100}) {
        SCOPED_TRACE(rate);
        const std::string log = files.file("level.csv");
        filter(rate, 3, signal, "--agc off --level-log " + log);
        // The chart's level after each block of the same engine, in-process.
        auto engine = std::make_unique<tolvek::Engine>();
        std::string error;
        tolvek::configureEngine(*engine, *tolvek::parseOfflineOptions({"--agc", "off", "in", "out"}, error), rate);
        const int length = 3 * rate;
        std::vector<float> stereo(2 * block), output(2 * block), levels;
        for (int at = 0; at < length + block; at += block) {
            for (int i = 0; i < block; ++i)
                stereo[2 * size_t(i)] = at + i < length ? float(signal(double(at + i) / rate)) : 0;
            engine->process(stereo.data(), output.data(), block);
            levels.push_back(tolvek::spectrumLevel(engine->shared));
        }
        // Each 50 ms row holds the level of the block playing then, give or take a row.
        auto off = [&](double t, double dB) {
            return std::abs(levels[std::min(levels.size() - 1, size_t(std::max(0.0, t) * rate / block))] - dB);
        };
        std::ifstream csv(log);
        csv.ignore(1000, '\n');  // the column names
        int rows = 0;
        for (double t, dB; csv >> t && csv.get() == ',' && csv >> dB; ++rows) {
            EXPECT_NEAR(t, rows * 0.05, 1e-9);
            EXPECT_LT(std::min({off(t - 0.05, dB), off(t, dB), off(t + 0.05, dB)}), 0.006) << "row " << rows;
        }
        EXPECT_EQ(rows, int(std::ceil(double(length + 1025) * 20 / rate)));
    }
}

// The sanitizer build's tool runs many times slower: fewer rows there.
#if defined(__SANITIZE_ADDRESS__)
const std::vector<int> rates = {22050};
constexpr int levelStep = 30;
#else
const std::vector<int> rates = {22050, 44100};
constexpr int levelStep = 10;
#endif

constexpr size_t blockFrames = tolvek::blockLength;

Samples mix(const Samples& a, double gainA, const Samples& b = {}, double gainB = 0) {
    Samples x(a.size());
    for (size_t i = 0; i < x.size(); ++i) x[i] = float(gainA * a[i] + (b.empty() ? 0 : gainB * b[i]));
    return x;
}

// The tool's output for x, aligned with the input and cut to its length.
// The measures compare runs at one input level, so the chain's gain cancels.
Samples runTool(const Samples& x, int rate, const std::string& options) {
    const Samples y = ToolFolder().filter(x, rate, options);
    return {y.begin() + filterDelay, y.begin() + long(filterDelay + x.size())};
}

double power(const Samples& x, size_t from, size_t to) {
    return std::inner_product(x.begin() + long(from), x.begin() + long(to), x.begin() + long(from), 0.0);
}

// Hum (49.97 Hz, its 2nd and 3rd harmonics 6 and 10 dB down) alone over
// -90 dBFS noise and under speech at -20 dBFS, AGC off so the runs compare
// linearly. The hum left is what the comb's output on background + hum holds
// beyond its output on the background alone (that the comb works alike at
// every scale, its own test shows). On the noise alone the comb adds
// nothing: white noise through it gains at most 10 log(1 + 4 / 16) = 1 dB.
TEST(StagesThroughTool, CombRemovesHumAndBlankerClicksAtEveryInputLevel) {
    constexpr double mainsHz = 49.97, harmonicDb[3] = {0, -6, -10};
    for (int rate : rates) {
        const size_t n = size_t(12 * rate), from = size_t(2 * rate);
        Samples hum(n);
        for (size_t i = 0; i < n; ++i)
            for (int h = 0; h < 3; ++h)
                hum[i] += float(fromDb(harmonicDb[h]) * std::sin(2 * M_PI * mainsHz * (h + 1) * double(i) / rate + h));
        const Samples voice = speech(rate, 12), noise = whiteNoise(n, fromDb(-90), 3), talk = mix(voice, fromDb(-20));
        const Samples cleanTalk = mix(voice, fromDb(-30));
        Samples clicked = cleanTalk;
        for (size_t i = 500; i < n; i += 997) clicked[i] += (i / 997) % 2 ? 1.0f : -1.0f;
        for (int level : {0, 60, 90}) {
            SCOPED_TRACE(std::to_string(rate) + " Hz, input level " + std::to_string(level));
            const std::string options = "--agc off --output-level 100 --input-level " + std::to_string(level);
            auto run = [&](const Samples& x, const std::string& o) { return runTool(x, rate, options + o); };
            for (const Samples* background : {&noise, &talk}) {
                const Samples clean = run(*background, " --comb 50");
                if (background == &noise)
                    EXPECT_LT(dBPower(power(clean, from, n) / power(run(noise, ""), from, n)), 1.0);
                for (double humDb : {-30.0, -45.0, -60.0}) {
                    const Samples x = mix(*background, 1, hum, fromDb(humDb)), off = run(x, "");
                    Samples left = run(x, " --comb 50");
                    for (size_t i = 0; i < n; ++i) left[i] -= clean[i];
                    for (int h = 0; h < 3; ++h) {
                        const auto phase = steadyPhase(mainsHz * (h + 1));
                        const double removed = dBAmplitude(amplitudeOf(off, from, n - from, rate, phase) /
                                                           amplitudeOf(left, from, n - from, rate, phase));
                        EXPECT_GE(removed, h == 0 ? 28.0 : 14.0)
                            << humDb << " dB hum over " << (background == &noise ? "noise" : "speech") << ", " << h;
                    }
                }
            }
            // Single-sample clicks 30 dB above speech, every 997 samples: their energy drops.
            const Samples clean = run(cleanTalk, ""), raw = run(clicked, ""), blanked = run(clicked, " --blanker 55");
            double before = 0, after = 0;
            for (size_t i = 500; i < n; i += 997)
                before += std::pow(raw[i] - clean[i], 2), after += std::pow(blanked[i] - clean[i], 2);
            EXPECT_GE(dBPower(before / after), 25.0);
        }
    }
}

// SNR of y against the clean signal, block by block so the AGC's changing
// gain does not count as noise: in each block the best-scaled copy of the
// clean signal is the signal and the rest is noise.
double blockSnrDb(const Samples& y, const Samples& clean) {
    double signal = 0, noise = 0;
    for (size_t s = blockFrames; s + blockFrames <= clean.size(); s += blockFrames) {
        double ys = 0, ss = 0, yy = 0;
        for (size_t i = s; i < s + blockFrames; ++i)
            ys += double(y[i]) * clean[i], ss += double(clean[i]) * clean[i], yy += double(y[i]) * y[i];
        if (ss > 0) signal += ys * ys / ss, noise += yy - ys * ys / ss;
    }
    return dBPower(signal / noise);
}

// A tone in white noise at 0 dB SNR and speech in white noise at 5 dB SNR,
// both at -11 dBFS, at the start settings (AGC slow) and at every tenth input
// level: the LMS lifts the tone and never loses on speech (its guard
// against divergence, its own test checks).
TEST(StagesThroughTool, LmsGainsAtEveryInputLevel) {
    constexpr int rate = 22050;
    constexpr size_t window = 16384, n = 24 * blockFrames + window, from = n - window;
    constexpr double cycles = 1500.0 / window;  // a whole number of cycles per window
    const double total = fromDb(-11), speechGain = total / std::sqrt(1 + fromDb(-5) * fromDb(-5));
    Samples tone(n);
    for (size_t i = 0; i < n; ++i) tone[i] = float(std::sin(2 * M_PI * cycles * double(i)));
    const Samples voice = speech(rate, 12), noise = whiteNoise(n, 1.0, 17), talk(voice.begin(), voice.begin() + n);
    const Samples toneIn = mix(tone, total, noise, total / std::sqrt(2.0));
    const Samples talkIn = mix(talk, speechGain, noise, speechGain * fromDb(-5));
    for (int taps : {16, 200, 3000}) {
        for (int level = 0; level <= 90; level += levelStep) {
            SCOPED_TRACE(std::to_string(taps) + " taps, input level " + std::to_string(level));
            const std::string lms =
                "--output-level 100 --input-level " + std::to_string(level) + " --lms " + std::to_string(taps);
            const Samples toneOut = runTool(toneIn, rate, lms), talkOut = runTool(talkIn, rate, lms);
            // A 16-tap filter can lift a tone at most by 10 log(16 / 2) = 9 dB.
            EXPECT_GE(toneSnrDb(toneOut, from, window, cycles) - toneSnrDb(toneIn, from, window, cycles),
                      taps == 16 ? 5.0 : 10.0);
            // At the start level the plain step is far inside the bound, and
            // so small that the leak holds the weights back and colours the
            // speech (measured -2.8 dB at 200 taps, -6.6 dB at 3000); the
            // bounded step at 3000 taps follows speech a little slowly.
            const double floor = level == 90 ? -7.0 : taps == 3000 ? -2.0 : -1.0;
            EXPECT_GE(blockSnrDb(talkOut, talk) - blockSnrDb(talkIn, talk), floor);
        }
    }
}

// Carriers 10 dB above speech at -20 dBFS. One row two minutes long: the
// carriers stay down, the glide is followed from 700 Hz to 3100 Hz, and
// speech alone stays unchanged.
TEST(AutoNotchThroughTool, RemovesCarriersAndFollowsAGlideWhileSpeechStays) {
    const double carrier = 0.1 * std::sqrt(10.0) * std::sqrt(2.0);
    const auto glidePhase = [](double t) { return 2 * M_PI * (700 * t + 10 * t * t); };  // 20 Hz/s up from 700 Hz
    for (const auto& [rate, inputLevel, seconds] :
         {std::tuple{5512, 0, 10}, {11025, 30, 120}, {22050, 60, 10}, {44100, 20, 10}}) {
        SCOPED_TRACE(rate);
        const Samples plain = mix(speech(rate, seconds), 0.1);
        const auto withCarrier = [&](Samples x, const std::function<double(double)>& phase) {
            for (size_t i = 0; i < x.size(); ++i) x[i] += float(carrier * std::cos(phase(double(i) / rate)));
            return x;
        };
        const Samples steady = withCarrier(withCarrier(plain, steadyPhase(900)), steadyPhase(1700)),
                      glide = withCarrier(plain, glidePhase);
        const std::string opts = "--agc off --output-level 0 --input-level " + std::to_string(inputLevel);
        const auto run = [&](const Samples& x, const std::string& o) { return runTool(x, rate, o); };
        const Samples speechOff = run(plain, opts), steadyOff = run(steady, opts),
                      steadyOn = run(steady, opts + " --auto-notch"), glideOff = run(glide, opts),
                      glideOn = run(glide, opts + " --auto-notch");
        // Worst drop of the component from `off` to `on`, over windows of
        // `seconds` from one second on. Long windows see less of the speech
        // around a steady carrier; a glide needs short ones.
        const auto worstDropDb = [&](const Samples& off, const Samples& on, const std::function<double(double)>& phase,
                                     double window) {
            double worst = 1e9;
            const size_t n = size_t(window * rate);
            for (size_t s = size_t(rate); s + n <= plain.size(); s += n)
                worst = std::min(worst,
                                 dBAmplitude(amplitudeOf(off, s, n, rate, phase) / amplitudeOf(on, s, n, rate, phase)));
            return worst;
        };
        // Level changes of `on` against `off` in a band, from one second on.
        const auto gain = [&](const Samples& on, const Samples& off, double lo, double hi) {
            const std::vector<double> a = powerSpectrum(on, size_t(rate), on.size()),
                                      b = powerSpectrum(off, size_t(rate), off.size());
            double sumA = 0, sumB = 0;
            for (size_t k = 0; k < a.size(); ++k)
                if (double(k) * rate / 8192 >= lo && double(k) * rate / 8192 <= hi) sumA += a[k], sumB += b[k];
            return dBPower(sumA / sumB);
        };
        for (double hz : {900.0, 1700.0}) EXPECT_GE(worstDropDb(steadyOff, steadyOn, steadyPhase(hz), 2), 50.0) << hz;
        EXPECT_GE(worstDropDb(glideOff, glideOn, glidePhase, 0.5), 30.0);
        EXPECT_LT(std::fabs(gain(steadyOn, speechOff, 0, rate)), 1.0);
        EXPECT_LT(std::fabs(gain(steadyOn, speechOff, 950, 1650)), 2.0);  // between the carriers
        // Speech alone at the start settings (input level 90, slow AGC).
        EXPECT_LT(std::fabs(gain(run(plain, "--auto-notch"), run(plain, ""), 0, rate)), 1.0);
    }
}

// y against the clean speech, frame by frame (20 ms), after the delay that
// best aligns them: segmental SNR over the frames with speech (clipped to
// -10..35 dB), the noise drop in the pauses (from `noisy`), and the speech
// frames' level change.
std::tuple<double, double, double> measure(const Samples& y, const Samples& clean, const Samples& noisy, int rate) {
    const size_t frame = size_t(rate) / 50, frames = clean.size() / frame, from = clean.size() / 3;
    size_t lag = 0;
    double best = -1e300;
    for (size_t l = 0; l <= 4096; ++l) {
        const double sum = std::inner_product(&clean[from], &clean[from + clean.size() / 10], &y[from + l], 0.0);
        if (sum > best) best = sum, lag = l;
    }
    const double mean = power(clean, 0, frames * frame) / double(frames);
    double snrSum = 0, count = 0, pauseIn = 0, pauseOut = 0, speechIn = 0, speechOut = 0;
    for (size_t a = 10 * frame; a + frame <= frames * frame; a += frame) {
        const double energy = power(clean, a, a + frame), out = power(y, a + lag, a + frame + lag);
        double error = 0;
        for (size_t i = a; i < a + frame; ++i) error += std::pow(double(clean[i]) - y[i + lag], 2);
        if (energy > 0.03 * mean)
            snrSum += std::clamp(dBPower(energy / error), -10.0, 35.0), ++count, speechIn += energy, speechOut += out;
        else if (energy < 0.001 * mean)
            pauseIn += power(noisy, a, a + frame), pauseOut += out;
    }
    return {snrSum / count, dBPower(pauseIn / pauseOut), dBPower(speechOut / speechIn)};
}

// Speech at -20 dBFS in white noise and in noise of a receiver's audio band
// (300 Hz to 3 kHz), at 0, 5 and 10 dB SNR.
TEST(SpectralNoiseReductionThroughTool, BeatsSpeexOnSpeechInNoiseAtEveryRate) {
    const std::string unity = "--input-level 0 --output-level 0 --agc off";
    for (const int rate : {5512, 11025, 22050, 44100}) {
        const Samples clean = mix(speech(rate, 12), 0.1);
        const Samples cleanOut = ToolFolder().filter(clean, rate, unity);  // delayed as the tool delays
        const Samples white = whiteNoise(clean.size(), 1.0, 7);
        const std::string band = " --band pass --lower 300 --upper " + std::to_string(std::min(3000, rate * 9 / 20));
        for (const Samples& noise : {white, runTool(white, rate, unity + band)})
            for (const double snr : {0.0, 5.0, 10.0}) {
                SCOPED_TRACE(std::to_string(rate) + " Hz, " + std::to_string(snr) + " dB SNR");
                // The speech's power is 0.01.
                const Samples noisy =
                    mix(clean, 1, noise,
                        std::sqrt(0.01 * double(noise.size()) / power(noise, 0, noise.size())) * fromDb(-snr));
                const Samples noisyOut = ToolFolder().filter(noisy, rate, unity),
                              ours = ToolFolder().filter(noisy, rate, unity + " --spectral-nr");
                Samples speex = speexDenoise(noisy, rate, 32768.0f);
                speex.resize(noisy.size() + 8192, 0.0f);
                const auto [segSnr, pauseDrop, speechLevel] = measure(ours, cleanOut, noisyOut, rate);
                EXPECT_GT(segSnr, std::get<0>(measure(speex, clean, noisy, rate)));
                EXPECT_GE(pauseDrop, 15.0);
                // Below 10 dB SNR the estimator gives up the speech's weakest
                // parts with the noise: up to 2.3 dB of level at 0 dB SNR.
                EXPECT_LT(std::fabs(speechLevel), snr >= 10 ? 1.0 : 2.5);
            }
    }
}

}  // namespace
