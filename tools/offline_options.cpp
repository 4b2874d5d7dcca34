#include "offline_options.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <utility>

#include "engine.h"
#include "settings.h"

namespace tolvek {

const char* offlineUsage =
    "Usage: tolvek-offline [options] IN OUT.wav\n"
    "Runs the Tolvek Filter engine over the sound file IN, block by block, and writes\n"
    "what the sound card would receive (both channels, full scale 1.0) to OUT.wav.\n"
    "IN: any file libsndfile reads (WAV, FLAC, Ogg/Vorbis, AIFF, ...), 1000 to 768000\n"
    "Hz, any channel count, samples finite and within 1000 times full scale. Other\n"
    "rates than the engine's 5512, 11025, 22050 and 44100 Hz are converted to the\n"
    "smallest of these that holds the input's band (44100 from 44100 Hz up) and\n"
    "back. OUT holds the input delayed by the filter's 1025 frames (at the engine's\n"
    "rate), followed by that delay's worth of the tail. '-' as IN reads standard\n"
    "input, as OUT writes a WAV stream to standard output.\n"
    "\n"
    "Options (defaults are the program's start settings):\n"
    "  --band reject|pass|passall  band mode (passall)\n"
    "  --lower HZ, --upper HZ      band edges in Hz, 0..engine rate/2 (1031, 2031 at\n"
    "                              22050 Hz)\n"
    "  --notch1 HZ .. --notch4 HZ  switch that notch on at HZ (narrow, medium, wide,\n"
    "                              extra wide)\n"
    "  --agc off|fast|slow         automatic gain control (slow)\n"
    "  --input-level N             input level slider, 0..100 (90; 0 = loudest)\n"
    "  --output-level N            output level slider, 0..200 (100; 200 = silent)\n"
    "  --test-noise                replace the input by the test noise\n"
    "  --lms TAPS                  LMS noise reduction with TAPS taps, 1..3000\n"
    "  --blanker THRESHOLD         noise blanker at THRESHOLD, 1..100; a higher\n"
    "                              threshold blanks more (smaller impulses)\n"
    "  --comb 50|60                mains-hum comb filter for 50 or 60 Hz\n"
    "  --auto-notch                find and remove steady and gliding tones\n"
    "  --spectral-nr               spectral noise reduction at the default strength (50)\n"
    "  --spectral-nr-strength N    spectral noise reduction at strength N, 0..100\n"
    "\n"
    "Files:\n"
    "  --channel N                 input channel to filter, from 1 (1)\n"
    "  --engine-rate HZ            run the engine at 5512, 11025, 22050 or 44100 Hz\n"
    "  --out-rate input|engine     write OUT at the input's rate or the engine's (input)\n"
    "  --format float|pcm16|pcm24  OUT's samples (float); RF64 beyond 4 GiB\n"
    "  --level-log FILE.csv        the signal level every 50 ms of OUT: time s, level dB\n"
    "  --quiet                     no progress on a terminal\n"
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

static bool parseHz(const std::string& text, std::optional<double>& hz) {
    double v;
    if (!parseNumber(text, v)) return false;
    hz = v;
    return true;
}

// Sets `value` to the choice whose name is `text`.
template <typename T, size_t N>
static bool parseChoice(const std::string& text, const std::pair<const char*, T> (&choices)[N], T& value) {
    for (const auto& [name, choice] : choices)
        if (text == name) {
            value = choice;
            return true;
        }
    return false;
}

namespace {

using O = OfflineOptions;

// One option: its name, what its value must be (null for a switch without a
// value) and how it is applied; false from `apply` means a bad value.
struct OptionRule {
    const char* name;
    const char* expected;
    bool (*apply)(O&, const std::string& value);
};

const OptionRule optionRules[] = {
    {"--band", "reject, pass or passall",
     [](O& o, const std::string& v) {
         return parseChoice(v, {{"reject", O::Band::reject}, {"pass", O::Band::pass}, {"passall", O::Band::passAll}},
                            o.band);
     }},
    {"--lower", "a frequency in Hz", [](O& o, const std::string& v) { return parseHz(v, o.lowerHz); }},
    {"--upper", "a frequency in Hz", [](O& o, const std::string& v) { return parseHz(v, o.upperHz); }},
    {"--notch1", "a frequency in Hz", [](O& o, const std::string& v) { return parseHz(v, o.notchHz[0]); }},
    {"--notch2", "a frequency in Hz", [](O& o, const std::string& v) { return parseHz(v, o.notchHz[1]); }},
    {"--notch3", "a frequency in Hz", [](O& o, const std::string& v) { return parseHz(v, o.notchHz[2]); }},
    {"--notch4", "a frequency in Hz", [](O& o, const std::string& v) { return parseHz(v, o.notchHz[3]); }},
    {"--agc", "off, fast or slow",
     [](O& o, const std::string& v) {
         return parseChoice(v, {{"off", O::AgcMode::off}, {"fast", O::AgcMode::fast}, {"slow", O::AgcMode::slow}},
                            o.agc);
     }},
    {"--input-level", "an integer 0..100",
     [](O& o, const std::string& v) { return parseInt(v, 0, 100, o.inputLevel); }},
    {"--output-level", "an integer 0..200",
     [](O& o, const std::string& v) { return parseInt(v, 0, 200, o.outputLevel); }},
    {"--test-noise", nullptr, [](O& o, const std::string&) { return o.testNoise = true; }},
    {"--lms", "an integer 1..3000", [](O& o, const std::string& v) { return parseInt(v, 1, 3000, o.lmsTaps); }},
    {"--blanker", "an integer 1..100",
     [](O& o, const std::string& v) { return parseInt(v, 1, 100, o.blankerThreshold); }},
    {"--comb", "50 or 60",
     [](O& o, const std::string& v) {
         return parseChoice(v, {{"50", 50}, {"60", 60}}, o.combHz);
     }},
    {"--auto-notch", nullptr, [](O& o, const std::string&) { return o.autoNotch = true; }},
    {"--spectral-nr", nullptr,
     [](O& o, const std::string&) {
         if (o.spectralNrStrength < 0) o.spectralNrStrength = SpectralNoiseReduction::defaultStrength;
         return true;
     }},
    {"--spectral-nr-strength", "an integer 0..100",
     [](O& o, const std::string& v) { return parseInt(v, 0, 100, o.spectralNrStrength); }},
    {"--channel", "a channel number from 1",
     [](O& o, const std::string& v) { return parseInt(v, 1, 1 << 20, o.channel); }},
    {"--engine-rate", "5512, 11025, 22050 or 44100",
     [](O& o, const std::string& v) {
         return parseChoice(v, {{"5512", 5512}, {"11025", 11025}, {"22050", 22050}, {"44100", 44100}}, o.engineRate);
     }},
    {"--out-rate", "input or engine",
     [](O& o, const std::string& v) {
         return parseChoice(v, {{"input", false}, {"engine", true}}, o.outAtEngineRate);
     }},
    {"--format", "float, pcm16 or pcm24",
     [](O& o, const std::string& v) {
         return parseChoice(
             v, {{"float", O::Format::float32}, {"pcm16", O::Format::pcm16}, {"pcm24", O::Format::pcm24}}, o.format);
     }},
    {"--level-log", "a file name", [](O& o, const std::string& v) { return !v.empty() && (o.levelLogPath = v, true); }},
    {"--quiet", nullptr, [](O& o, const std::string&) { return o.quiet = true; }},
};

}  // namespace

std::optional<OfflineOptions> parseOfflineOptions(const std::vector<std::string>& args, std::string& error) {
    OfflineOptions o;
    std::vector<std::string> positional;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--help" || a == "-h") {
            o.help = true;
            return o;
        }
        if (a.rfind("--", 0) != 0 || a == "--") {  // "-" names standard input or output
            positional.push_back(a);
            continue;
        }
        const OptionRule* rule = nullptr;
        for (const OptionRule& r : optionRules)
            if (a == r.name) rule = &r;
        if (!rule) {
            error = "unknown option " + a + " (see --help)";
            return std::nullopt;
        }
        if (!rule->expected) {
            rule->apply(o, {});
            continue;
        }
        if (i + 1 >= args.size()) {
            error = "option " + a + " needs a value";
            return std::nullopt;
        }
        const std::string& v = args[++i];
        if (!rule->apply(o, v)) {
            error = "bad value '" + v + "' for " + a + ": expected " + rule->expected;
            return std::nullopt;
        }
    }
    if (positional.size() != 2) {
        error = positional.size() < 2 ? "missing IN or OUT.wav (see --help)" : "too many file names (see --help)";
        return std::nullopt;
    }
    o.inputPath = positional[0];
    o.outputPath = positional[1];
    if (o.levelLogPath == o.outputPath) {
        error = "--level-log names OUT too; give each its own";
        return std::nullopt;
    }
    return o;
}

bool checkFrequencies(const OfflineOptions& o, int sampleRate, std::string& error) {
    const double nyquist = sampleRate / 2.0;
    auto inRange = [&](const std::optional<double>& hz, const char* name) {
        if (hz && (*hz < 0 || *hz > nyquist)) {
            error = std::string(name) + " " + std::to_string(*hz) + " Hz is outside 0.." +
                    std::to_string(static_cast<int>(nyquist)) + " Hz at the engine's rate of " +
                    std::to_string(sampleRate) + " Hz";
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
        put(s.combPeriodMs, o.combHz == 50 ? mains50PeriodMs : mains60PeriodMs);
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
    put(s.autoNotchOn, o.autoNotch ? 1 : 0);
    if (o.spectralNrStrength >= 0) {
        put(s.spectralNrStrength, o.spectralNrStrength);
        put(s.spectralNrOn, 1);
    }
}

}  // namespace tolvek
