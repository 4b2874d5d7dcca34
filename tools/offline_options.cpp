#include "offline_options.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "engine.h"
#include "settings.h"

namespace tolvek {

const char* offlineUsage =
    "Usage: tolvek-offline [options] IN OUT.wav\n"
    "Runs the Tolvek Filter engine over the sound file IN, block by block, and writes\n"
    "what the sound card would receive (both channels, full scale 1.0) to OUT.wav as\n"
    "32-bit float. IN: mono or stereo (left channel used) at 5512, 11025, 22050 or\n"
    "44100 Hz, samples finite and within 1000 times full scale. OUT holds the input\n"
    "padded to whole 2048-frame blocks plus one block more, so the filter's delay of\n"
    "1025 frames lets the whole input through.\n"
    "\n"
    "Options (defaults are the program's start settings):\n"
    "  --band reject|pass|passall  band mode (passall)\n"
    "  --lower HZ, --upper HZ      band edges in Hz, 0..rate/2 (1031, 2031 at 22050 Hz)\n"
    "  --notch1 HZ .. --notch4 HZ  switch that notch on at HZ (narrow, medium, wide,\n"
    "                              extra wide)\n"
    "  --agc off|fast|slow         automatic gain control (slow)\n"
    "  --input-level N             input level slider, 0..100 (90; 0 = loudest)\n"
    "  --output-level N            output level slider, 0..200 (100; 200 = silent)\n"
    "  --test-noise                replace the input by the test noise\n"
    "  --lms TAPS                  LMS noise reduction with TAPS taps, 1..3000\n"
    "  --blanker THRESHOLD         noise blanker at THRESHOLD, 1..100\n"
    "  --comb 50|60                mains-hum comb filter for 50 or 60 Hz\n"
    "  --help                      this text\n"
    "Exit status: 0 done, 2 bad input or options, 1 output could not be written.\n";

static bool parseNumber(const std::string& text, double& value) {
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return errno == 0 && end && *end == '\0' && std::isfinite(value);
}

static bool parseInt(const std::string& text, long lo, long hi, int& value) {
    double v;
    if (!parseNumber(text, v) || v != std::floor(v) || v < double(lo) || v > double(hi)) return false;
    value = static_cast<int>(v);
    return true;
}

std::optional<OfflineOptions> parseOfflineOptions(const std::vector<std::string>& args, std::string& error) {
    OfflineOptions o;
    std::vector<std::string> positional;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--help" || a == "-h") {
            o.help = true;
            return o;
        }
        if (a == "--test-noise") {
            o.testNoise = true;
            continue;
        }
        if (a.rfind("--", 0) != 0 || a == "--") {
            positional.push_back(a);
            continue;
        }
        if (i + 1 >= args.size()) {
            error = "option " + a + " needs a value";
            return std::nullopt;
        }
        const std::string& v = args[++i];
        auto bad = [&](const std::string& range) {
            error = "bad value '" + v + "' for " + a + ": expected " + range;
            return std::nullopt;
        };
        double hz;
        if (a == "--band") {
            if (v == "reject")
                o.band = OfflineOptions::Band::reject;
            else if (v == "pass")
                o.band = OfflineOptions::Band::pass;
            else if (v == "passall")
                o.band = OfflineOptions::Band::passAll;
            else
                return bad("reject, pass or passall");
        } else if (a == "--agc") {
            if (v == "off")
                o.agc = OfflineOptions::AgcMode::off;
            else if (v == "fast")
                o.agc = OfflineOptions::AgcMode::fast;
            else if (v == "slow")
                o.agc = OfflineOptions::AgcMode::slow;
            else
                return bad("off, fast or slow");
        } else if (a == "--lower" || a == "--upper") {
            if (!parseNumber(v, hz)) return bad("a frequency in Hz");
            (a == "--lower" ? o.lowerHz : o.upperHz) = hz;
        } else if (a.size() == 8 && a.rfind("--notch", 0) == 0 && a[7] >= '1' && a[7] <= '4') {
            if (!parseNumber(v, hz)) return bad("a frequency in Hz");
            o.notchHz[a[7] - '1'] = hz;
        } else if (a == "--input-level") {
            if (!parseInt(v, 0, 100, o.inputLevel)) return bad("an integer 0..100");
        } else if (a == "--output-level") {
            if (!parseInt(v, 0, 200, o.outputLevel)) return bad("an integer 0..200");
        } else if (a == "--lms") {
            if (!parseInt(v, 1, 3000, o.lmsTaps)) return bad("an integer 1..3000");
        } else if (a == "--blanker") {
            if (!parseInt(v, 1, 100, o.blankerThreshold)) return bad("an integer 1..100");
        } else if (a == "--comb") {
            if (v != "50" && v != "60") return bad("50 or 60");
            o.combHz = v == "50" ? 50 : 60;
        } else {
            error = "unknown option " + a + " (see --help)";
            return std::nullopt;
        }
    }
    if (positional.size() != 2) {
        error = positional.size() < 2 ? "missing IN or OUT.wav (see --help)" : "too many file names (see --help)";
        return std::nullopt;
    }
    o.inputPath = positional[0];
    o.outputPath = positional[1];
    return o;
}

bool checkFrequencies(const OfflineOptions& o, int sampleRate, std::string& error) {
    const double nyquist = sampleRate / 2.0;
    auto inRange = [&](const std::optional<double>& hz, const char* name) {
        if (hz && (*hz < 0 || *hz > nyquist)) {
            error = std::string(name) + " " + std::to_string(*hz) + " Hz is outside 0.." +
                    std::to_string(static_cast<int>(nyquist)) + " Hz at this file's rate";
            return false;
        }
        return true;
    };
    const char* notchNames[4] = {"--notch1", "--notch2", "--notch3", "--notch4"};
    if (!inRange(o.lowerHz, "--lower") || !inRange(o.upperHz, "--upper")) return false;
    for (int i = 0; i < 4; ++i)
        if (!inRange(o.notchHz[i], notchNames[i])) return false;
    const ProcessingSettings start;
    const double lower = o.lowerHz.value_or(positionToHz(double(get(start.lowerCutoff)), sampleRate));
    const double upper = o.upperHz.value_or(positionToHz(double(get(start.upperCutoff)), sampleRate));
    if (lower > upper) {
        error = "--lower is above --upper";
        return false;
    }
    return true;
}

void configureEngine(Engine& engine, const OfflineOptions& o, int rate) {
    auto& s = engine.settings;
    put(s.sampleRate, rate);
    put(s.passOn, o.band == OfflineOptions::Band::pass ? 1 : 0);
    put(s.rejectOn, o.band == OfflineOptions::Band::reject ? 1 : 0);
    put(s.passAllOn, o.band == OfflineOptions::Band::passAll ? 1 : 0);
    if (o.lowerHz) put(s.lowerCutoff, static_cast<float>(hzToPosition(*o.lowerHz, rate)));
    if (o.upperHz) put(s.upperCutoff, static_cast<float>(hzToPosition(*o.upperHz, rate)));
    for (int i = 0; i < 4; ++i) {
        if (!o.notchHz[i]) continue;
        put(s.notchFreq(i), static_cast<float>(hzToPosition(*o.notchHz[i], rate)));
        put(s.notchOn(i), 1);
    }
    put(s.agcOn, o.agc == OfflineOptions::AgcMode::off ? 0 : 1);
    put(s.agcFast, o.agc == OfflineOptions::AgcMode::fast ? 1 : 0);
    put(s.inputLevel, o.inputLevel);
    put(s.outputLevel, o.outputLevel);
    put(s.noiseTestOn, o.testNoise ? 1 : 0);
    if (o.combHz) {
        put(s.combPeriodMs, o.combHz == 50 ? 20.0f : 16.66f);
        put(s.comb50Hz, o.combHz == 50 ? 1 : 0);
        put(s.comb60Hz, o.combHz == 60 ? 1 : 0);
        put(s.combOn, 1);
    }
    engine.comb.requestSetup(get(s.combPeriodMs), rate);
    if (o.blankerThreshold) {
        put(s.blankerThreshold, o.blankerThreshold);
        put(s.blankerOn, 1);
    }
    if (o.lmsTaps) {
        put(s.lmsStrength, o.lmsTaps);
        engine.switchLmsOn();
    }
}

}  // namespace tolvek
