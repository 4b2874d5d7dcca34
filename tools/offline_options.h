// Command-line options of the offline tool, parsed and checked before any
// file is touched.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tolvek {

struct OfflineOptions {
    std::string inputPath;
    std::string outputPath;
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
    bool help = false;
};

// Parses argv; on failure returns nullopt and sets `error` to a one-line message.
std::optional<OfflineOptions> parseOfflineOptions(const std::vector<std::string>& args, std::string& error);

// Checks the frequency options against the input's rate (0 .. rate/2, lower <= upper).
bool checkFrequencies(const OfflineOptions& o, int sampleRate, std::string& error);

struct Engine;

// Sets the engine's settings from checked options, for a file at `sampleRate`.
void configureEngine(Engine& engine, const OfflineOptions& o, int sampleRate);

extern const char* offlineUsage;

}  // namespace tolvek
