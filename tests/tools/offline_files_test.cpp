// The offline tool with the files listeners have: recorders' rates and
// formats, pipes, links, interruptions, and the level log.
#include <gtest/gtest.h>
#include <signal.h>
#include <sndfile.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>

#include "engine.h"
#include "offline_options.h"
#include "signal_level.h"
#include "tool_runner.h"

namespace {

using tolvek::tooltest::ToolFolder;
namespace fs = std::filesystem;

// The linear chain with AGC off at the start levels, from the stated stage
// gains: input 0.1^3.16 x 1000, block gain 8.2392, inverse FFT 4096, output
// (1 - 100/200), back to full scale / 1000.
constexpr double linearChainGain = 0.6918 * 8.2392 * 4096 * 0.5 / 1000;
constexpr int block = tolvek::blockLength;

struct Sound {
    SF_INFO info{};
    std::vector<float> channel1;
};

Sound readSound(const std::string& path) {
    Sound s;
    std::unique_ptr<SNDFILE, int (*)(SNDFILE*)> f(sf_open(path.c_str(), SFM_READ, &s.info), sf_close);
    EXPECT_TRUE(f) << path;
    if (!f) return s;
    std::vector<float> frames(size_t(s.info.frames * s.info.channels));
    sf_readf_float(f.get(), frames.data(), s.info.frames);
    for (size_t i = 0; i < frames.size(); i += size_t(s.info.channels)) s.channel1.push_back(frames[i]);
    return s;
}

// A sine of `hz` in channel `toneChannel` (from 0) of `channels`, the other
// channels a louder tone the tool must not pick up.
void writeTone(const ToolFolder& files, const std::string& name, int rate, int channels, int format, double hz,
               double seconds, int toneChannel = 0) {
    std::vector<float> x(size_t(seconds * rate) * size_t(channels));
    for (size_t i = 0; i < x.size(); ++i) {
        const double t = double(i / size_t(channels)) / rate;
        const bool tone = int(i % size_t(channels)) == toneChannel;
        x[i] = float(tone ? 0.05 * std::sin(2 * M_PI * hz * t) : 0.5 * std::sin(2 * M_PI * 333 * t));
    }
    SF_INFO info{0, rate, channels, format, 0, 0};
    SNDFILE* f = sf_open(files.path(name).c_str(), SFM_WRITE, &info);
    ASSERT_TRUE(f) << sf_strerror(nullptr);
    sf_writef_float(f, x.data(), sf_count_t(x.size()) / channels);
    sf_close(f);
}

double rmsDb(const std::vector<float>& x, size_t from, size_t to) {
    double s = 0;
    for (size_t i = from; i < to; ++i) s += double(x[i]) * x[i];
    return 10 * std::log10(s / double(to - from));
}

std::string fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// Names in the test's folder: anything left behind shows here.
std::set<std::string> folderContents(const ToolFolder& files) {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(fs::path(files.path("x")).parent_path()))
        if (e.path().filename() != "stderr.txt") names.insert(e.path().filename().string());
    return names;
}

struct OfflineFiles : ::testing::Test {
    ToolFolder files;
};

TEST_F(OfflineFiles, RecordersRatesRoundTripAtTheirRateWithTheLinearGainAndNotchDepth) {
    struct Case {
        int rate, engineRate;
        double hz;
    };
    const Case cases[] = {{8000, 11025, 1000}, {16000, 22050, 2500}, {48000, 44100, 6000}, {96000, 44100, 15000}};
    const std::pair<std::string, int> formats[] = {{"wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT},
                                                   {"flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_24}};
    const double seconds = 3;
    for (const Case& c : cases) {
        writeTone(files, "engine.wav", c.engineRate, 1, SF_FORMAT_WAV | SF_FORMAT_FLOAT, c.hz, seconds);
        auto level = [&](const std::string& in, const std::string& args) {
            const auto r = files.run("--agc off " + args + " " + files.path(in) + " " + files.path("out.wav"));
            EXPECT_EQ(r.status, 0) << r.stderrText;
            return readSound(files.path("out.wav"));
        };
        auto midLevel = [&](const Sound& s) {
            const size_t at = size_t(s.info.samplerate * seconds / 2);
            return rmsDb(s.channel1, at - size_t(s.info.samplerate / 2), at + size_t(s.info.samplerate / 2));
        };
        const std::string notch = "--notch2 " + std::to_string(c.hz);
        const double engineDepth = midLevel(level("engine.wav", "")) - midLevel(level("engine.wav", notch));
        for (const auto& [ext, format] : formats)
            for (int channels : {1, 2}) {
                SCOPED_TRACE(std::to_string(c.rate) + " Hz " + ext + " " + std::to_string(channels) + " channels");
                const std::string in = "in." + ext, pick = channels == 2 ? "--channel 2" : "";
                writeTone(files, in, c.rate, channels, format, c.hz, seconds, channels - 1);
                const Sound out = level(in, pick);
                EXPECT_EQ(out.info.samplerate, c.rate);
                const long long lateBy = out.info.frames - long(seconds * c.rate);
                EXPECT_GE(lateBy, 0);
                EXPECT_LE(lateBy, block * c.rate / c.engineRate);
                const double expected = 20 * std::log10(0.05 / std::sqrt(2) * linearChainGain);
                EXPECT_NEAR(midLevel(out), expected, 0.5);
                const double depth = midLevel(out) - midLevel(level(in, pick + " " + notch));
                std::printf("%5d Hz %-4s %d ch: %+.2f dB from the linear chain, notch %.1f dB (%.1f at %d Hz)\n",
                            c.rate, ext.c_str(), channels, midLevel(out) - expected, depth, engineDepth, c.engineRate);
                EXPECT_GE(depth, engineDepth - 1.0) << "engine rate's depth " << engineDepth;
                EXPECT_GE(depth, 25.0);
            }
    }
}

TEST_F(OfflineFiles, PipesBothWaysGiveTheFilesSamples) {
    writeTone(files, "in.flac", 48000, 2, SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 1000, 2);
    const std::string tool = OFFLINE_TOOL, in = files.path("in.flac");
    for (const std::string format : {"float", "pcm16", "pcm24"}) {
        SCOPED_TRACE(format);
        ASSERT_EQ(files.run("--format " + format + " " + in + " " + files.path("file.wav")).status, 0);
        const std::string pipe = "--format " + format + " - - < " + in + " | sox -t wav - " + files.path("sox.wav");
        ASSERT_EQ(files.run(pipe).status, 0) << fileBytes(files.path("stderr.txt"));
        const Sound viaFile = readSound(files.path("file.wav")), viaPipes = readSound(files.path("sox.wav"));
        EXPECT_EQ(viaPipes.info.samplerate, 48000);
        ASSERT_EQ(viaPipes.channel1.size(), viaFile.channel1.size());
        for (size_t i = 0; i < viaFile.channel1.size(); ++i)  // sox keeps floats to 24 bits, within full scale
            ASSERT_NEAR(viaPipes.channel1[i], std::clamp(viaFile.channel1[i], -1.0f, 1.0f), 1.2e-7) << "frame " << i;
    }
}

TEST_F(OfflineFiles, OutputNamingTheInputIsRefusedAndTheInputKept) {
    writeTone(files, "in.wav", 16000, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1000, 1);
    const std::string in = files.path("in.wav"), original = fileBytes(in);
    fs::create_hard_link(in, files.path("hard.wav"));
    fs::create_symlink(in, files.path("soft.wav"));
    const auto before = folderContents(files);
    for (const std::string out : {"in.wav", "hard.wav", "soft.wav"}) {
        for (const std::string option : {"", "--level-log "}) {
            const auto r = files.run(in + " " + option + files.path(out) + (option.empty() ? "" : " x.wav"));
            EXPECT_EQ(r.status, 2) << out << ": " << r.stderrText;
            EXPECT_NE(r.stderrText.find("is the input file"), std::string::npos) << r.stderrText;
            EXPECT_EQ(fileBytes(in), original) << out;
            EXPECT_EQ(folderContents(files), before) << out;
        }
    }
}

TEST_F(OfflineFiles, SignalsMidRunLeaveNeitherTemporaryNorOutput) {
    writeTone(files, "head.wav", 48000, 1, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 1000, 1);
    const std::string head = fileBytes(files.path("head.wav"));
    for (int signal : {SIGINT, SIGTERM}) {
        // Standard input stays open, so the tool is mid-run until the signal.
        int feed[2];
        ASSERT_EQ(::pipe(feed), 0);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, feed[0], 0);
        posix_spawn_file_actions_addclose(&actions, feed[1]);
        const std::string out = files.path("out.wav"), log = files.path("level.csv");
        const char* argv[] = {OFFLINE_TOOL, "--level-log", log.c_str(), "-", out.c_str(), nullptr};
        pid_t pid;
        ASSERT_EQ(posix_spawn(&pid, OFFLINE_TOOL, &actions, nullptr, const_cast<char**>(argv), environ), 0);
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
        std::vector<float> x(size_t(3 * rate));
        for (size_t i = 0; i < x.size(); ++i) {
            const bool on = i >= size_t(rate) && i < size_t(2 * rate);
            x[i] = float((on ? 0.3 : 0.0003) * std::sin(2 * M_PI * 1000 * double(i) / rate));
        }
        files.writeWav("in.wav", x, rate);
        ASSERT_EQ(files
                      .run("--agc off --level-log " + files.path("level.csv") + " " + files.path("in.wav") + " " +
                           files.path("out.wav"))
                      .status,
                  0);
        // The chart's level after each block of the same engine, in-process.
        auto engine = std::make_unique<tolvek::Engine>();
        std::string error;
        tolvek::configureEngine(*engine, *tolvek::parseOfflineOptions({"--agc", "off", "in", "out"}, error), rate);
        std::vector<float> stereo(2 * block), output(2 * block), levels;
        for (size_t at = 0; at < x.size() + block; at += block) {
            for (size_t i = 0; i < size_t(block); ++i) stereo[2 * i] = at + i < x.size() ? x[at + i] : 0.0f;
            engine->process(stereo.data(), output.data(), block);
            levels.push_back(tolvek::spectrumLevel(engine->shared));
        }
        // Each 50 ms row holds the level of the block playing then, give or take a row.
        std::ifstream csv(files.path("level.csv"));
        std::string line;
        std::getline(csv, line);
        EXPECT_EQ(line, "time_s,level_dB");
        int rows = 0;
        float lowest = 0, highest = -200;
        for (double t, dB; std::getline(csv, line); ++rows) {
            ASSERT_EQ(std::sscanf(line.c_str(), "%lf,%lf", &t, &dB), 2) << line;
            EXPECT_NEAR(t, rows * 0.05, 1e-9);
            double nearest = 1e9;
            for (double near : {t - 0.05, t, t + 0.05}) {
                const size_t b = std::min(levels.size() - 1, size_t(std::max(0.0, near) * rate / block));
                nearest = std::min(nearest, std::abs(levels[b] - dB));
            }
            EXPECT_LT(nearest, 0.006) << "row " << rows << ": " << line;
            lowest = std::min(lowest, float(dB));
            highest = std::max(highest, float(dB));
        }
        EXPECT_EQ(rows, int(std::ceil((x.size() + 1025) * 20.0 / rate)));
        EXPECT_GT(highest - lowest, 50.0f);
    }
}

TEST_F(OfflineFiles, BadNewOptionsAreRefusedWithOneLine) {
    writeTone(files, "in.wav", 48000, 2, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 1000, 1);
    const std::string in = files.path("in.wav"), out = files.path("out.wav");
    const std::pair<std::string, std::string> cases[] = {
        {"--channel 3", "3"},
        {"--channel 0", "--channel"},
        {"--engine-rate 48000", "--engine-rate"},
        {"--out-rate 8000", "input or engine"},
        {"--format pcm8", "--format"},
        {"--engine-rate 11025 --notch1 6000", "5512 Hz"},
    };
    for (const auto& [args, mentions] : cases) {
        const auto r = files.run(args + " " + in + " " + out);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_EQ(std::count(r.stderrText.begin(), r.stderrText.end(), '\n'), 1) << r.stderrText;
        EXPECT_NE(r.stderrText.find(mentions), std::string::npos) << r.stderrText;
        EXPECT_EQ(folderContents(files), std::set<std::string>{"in.wav"}) << args;
    }
}

}  // namespace
