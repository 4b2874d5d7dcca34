// Command-line options of the offline tool, parsed and checked before any
// file is touched.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tolvek {

struct OfflineOptions {
    std::string inputPath;   // "-" = standard input
    std::string outputPath;  // "-" = standard output
    enum class Band { passAll, pass, reject } band = Band::passAll;
    std::optional<double> lowerHz, upperHz;  // default: the program's start positions
    std::optional<double> notchHz[4];        // set = that notch on
    enum class AgcMode { off, fast, slow } agc = AgcMode::slow;
    int inputLevel = 90;    // 0..100
    int outputLevel = 100;  // 0..200
    bool testNoise = false;
    int lmsTaps = 0;           // 0 = off, else 1..3000
    int blankerThreshold = 0;  // 0 = off, else 1..100
    int combHz = 0;            // 0 = off, 50 or 60
    bool autoNotch = false;
    int spectralNrStrength = -1;  // -1 = off, else 0..100
    int channel = 1;           // input channel used, counted from 1
    int engineRate = 0;        // 0 = the smallest engine rate holding the input's band
    bool outAtEngineRate = false;
    enum class Format { float32, pcm16, pcm24 } format = Format::float32;
    std::string levelLogPath;  // empty = no level log
    bool quiet = false;
    bool help = false;
};

// Parses argv; on failure returns nullopt and sets `error` to a one-line message.
std::optional<OfflineOptions> parseOfflineOptions(const std::vector<std::string>& args, std::string& error);

// Checks the frequency options against the engine's rate (0 .. rate/2, lower <= upper).
bool checkFrequencies(const OfflineOptions& o, int sampleRate, std::string& error);

struct Engine;

// Sets the engine's settings from checked options, for the engine at `sampleRate`.
void configureEngine(Engine& engine, const OfflineOptions& o, int sampleRate);

extern const char* offlineUsage;

}  // namespace tolvek
