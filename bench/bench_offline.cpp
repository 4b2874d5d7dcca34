// The offline tool's speed as a realtime factor (seconds of audio per second
// of the tool's CPU time, so other work on the machine does not count) on a
// 48 kHz stereo recording, converted to 44100 Hz and back: at the start
// settings and with every stage on.
#include <sndfile.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int rate = 48000;
constexpr int seconds = 120;

// Speech-like test signal: a voice of changing pitch in syllables, with a
// steady carrier whistle and receiver noise; the right channel a copy.
bool writeRecording(const std::string& path) {
    SF_INFO info{0, rate, 2, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 0, 0};
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!f) return false;
    std::mt19937 rng(5);
    std::normal_distribution<float> noise(0, 0.02f);
    std::vector<float> frames(2 * rate);
    double phase = 0;
    for (int s = 0; s < seconds; ++s) {
        for (int i = 0; i < rate; ++i) {
            const double t = s + double(i) / rate;
            phase += 2 * M_PI * (140 + 40 * std::sin(2 * M_PI * 0.7 * t)) / rate;
            const double syllable = std::max(0.0, std::sin(2 * M_PI * 4 * t));
            double voice = 0;
            for (int h = 1; h <= 12; ++h) voice += std::sin(h * phase) / h;
            const float x = float(0.1 * syllable * voice + 0.05 * std::sin(2 * M_PI * 1500 * t)) + noise(rng);
            frames[2 * size_t(i)] = frames[2 * size_t(i) + 1] = x;
        }
        sf_writef_float(f, frames.data(), rate);
    }
    return sf_close(f) == 0;
}

// Runs the tool; its CPU seconds (user and system), or -1 on failure.
double toolCpuSeconds(const std::string& args) {
    rusage before{}, after{};
    getrusage(RUSAGE_CHILDREN, &before);
    const int status = std::system((std::string(OFFLINE_TOOL) + " --quiet " + args).c_str());
    getrusage(RUSAGE_CHILDREN, &after);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
    auto cpu = [](const rusage& r) {
        return double(r.ru_utime.tv_sec + r.ru_stime.tv_sec) + double(r.ru_utime.tv_usec + r.ru_stime.tv_usec) * 1e-6;
    };
    return cpu(after) - cpu(before);
}

}  // namespace

int main() {
    const auto dir = std::filesystem::temp_directory_path() / ("tolvek-bench-offline-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const std::string in = (dir / "in.wav").string(), out = (dir / "out.wav").string();
    if (!writeRecording(in)) return 1;
    const std::pair<const char*, std::string> settings[] = {
        {"start settings", ""},
        {"every stage on",
         "--comb 50 --blanker 55 --lms 200 --band pass --notch1 1625 --notch2 1875 "
         "--notch3 2375 --notch4 2750 --auto-notch --spectral-nr"},
    };
    std::printf("tolvek-offline on %d s of 48 kHz stereo, through 44100 Hz and back:\n", seconds);
    int status = 0;
    for (const auto& [name, args] : settings) {
        const double cpu = toolCpuSeconds(args + " " + in + " " + out);
        if (cpu <= 0) {
            std::printf("  %-15s failed\n", name);
            status = 1;
            continue;
        }
        std::printf("  %-15s realtime factor %.0fx\n", name, seconds / cpu);
    }
    std::filesystem::remove_all(dir);
    return status;
}
