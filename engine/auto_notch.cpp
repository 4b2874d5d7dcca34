#include "auto_notch.h"

#include <cmath>
#include <cstring>

#include "fft.h"

namespace tolvek {

namespace {
constexpr double pi = 3.14159265358979323846;
constexpr float lineRatio = 100.0f;  // a line stands 20 dB above the mean of its surroundings
constexpr int looksToTrack = 3;      // analyses in a row before a line gets a tracker
constexpr int missesToRelease = 3;   // analyses in a row without it before the tracker goes
constexpr double notchHalfWidthHz = 8;
constexpr double loopHz = 2.5;  // the oscillator loop's natural frequency, critically damped
}  // namespace

void AutoNotch::setup(int sampleRate) noexcept {
    rate = sampleRate;
    analysisLength = 1024;  // 0.186 s at 5512 Hz, 5.4 Hz per bin at every rate
    for (int r = 5512 * 3 / 2; r < sampleRate && analysisLength < maxAnalysis; r *= 2) analysisLength *= 2;
    for (int i = 0; i < analysisLength; ++i)
        window[i] = static_cast<float>(0.5 - 0.5 * std::cos(2 * pi * i / analysisLength));
    stepSize = static_cast<float>(4 * pi * notchHalfWidthHz / sampleRate);
    const double wn = 2 * pi * loopHz / sampleRate;
    loopGain[0] = 2 * wn;
    loopGain[1] = wn * wn;
    reset();
}

void AutoNotch::reset() noexcept {
    std::memset(history, 0, sizeof history);
    historyHead = 0;
    sinceAnalysis = 0;
    candidateCount = 0;
    for (Tracker& t : trackers) t = Tracker{};
}

void AutoNotch::startTracker(float bin) noexcept {
    for (Tracker& t : trackers)
        if (!t.active) {
            t = Tracker{};
            t.active = true;
            t.frequency = 2 * pi * double(bin) / analysisLength;
            return;
        }
}

void AutoNotch::analyse() noexcept {
    const int n = analysisLength, half = n / 2;
    for (int i = 0; i < n; ++i) {
        const int h = historyHead + i;
        spectrum[2 * i + 1] = history[h < n ? h : h - n] * window[i];
        spectrum[2 * i + 2] = 0.0f;
    }
    fftForward(spectrum, n);
    for (int k = 0; k < half; ++k)
        power[k] = spectrum[2 * k + 1] * spectrum[2 * k + 1] + spectrum[2 * k + 2] * spectrum[2 * k + 2];

    // Lines: local maxima well above the mean of the bins 4 to 12 away.
    bool trackerSeen[maxTrackers] = {};
    Candidate next[maxTrackers * 4];
    int nextCount = 0;
    for (int k = 13; k < half - 13; ++k) {
        const float p = power[k];
        if (!(p > power[k - 1] && p >= power[k + 1])) continue;
        float around = 0;
        for (int d = 4; d <= 12; ++d) around += power[k - d] + power[k + d];
        if (!(p > lineRatio * around / 18)) continue;
        // Parabolic interpolation on the log power: within a tenth of a bin for Hann.
        const float a = std::log(power[k - 1] + 1e-30f), b = std::log(p), c = std::log(power[k + 1] + 1e-30f);
        const float bin = k + 0.5f * (a - c) / (a - 2 * b + c);
        bool tracked = false;
        for (int t = 0; t < maxTrackers; ++t) {
            const Tracker& tr = trackers[t];
            if (tr.active && std::fabs(tr.frequency * n / (2 * pi) - double(bin)) < 3) trackerSeen[t] = tracked = true;
        }
        if (tracked || nextCount == maxTrackers * 4) continue;
        int looks = 1;
        for (int j = 0; j < candidateCount; ++j)
            if (std::fabs(candidates[j].bin - bin) < 1.5f) looks = candidates[j].looks + 1;
        if (looks >= looksToTrack)
            startTracker(bin);
        else
            next[nextCount++] = {bin, looks};
    }
    std::memcpy(candidates, next, sizeof next);
    candidateCount = nextCount;

    for (int t = 0; t < maxTrackers; ++t) {
        Tracker& tr = trackers[t];
        if (!tr.active) continue;
        tr.misses = trackerSeen[t] ? 0 : tr.misses + 1;
        // A tracker that lost its line, or ran off the band, is freed.
        if (tr.misses >= missesToRelease || tr.frequency <= 0 || tr.frequency >= pi) tr = Tracker{};
    }
}

float AutoNotch::step(float x, int sampleRate) noexcept {
    if (sampleRate != rate) setup(sampleRate);
    const int n = analysisLength;
    history[historyHead] = x;
    historyHead = historyHead + 1 == n ? 0 : historyHead + 1;
    if (++sinceAnalysis == n / 2) {
        sinceAnalysis = 0;
        analyse();
    }

    float e = x;
    for (Tracker& t : trackers) {
        if (!t.active) continue;
        const float c = static_cast<float>(std::cos(t.phase)), s = static_cast<float>(std::sin(t.phase));
        const float e1 = e - (t.w1[0] * c + t.w1[1] * s);
        t.w1[0] += stepSize * e1 * c;
        t.w1[1] += stepSize * e1 * s;
        e = e1 - (t.w2[0] * c + t.w2[1] * s);
        t.w2[0] += stepSize * e * c;
        t.w2[1] += stepSize * e * s;
        // The first canceller's weights hold the tone as A cos(phase + psi):
        // w = (A cos psi, -A sin psi). The loop drives psi to zero.
        const double psi = std::atan2(-double(t.w1[1]), double(t.w1[0]));
        t.frequency += loopGain[1] * psi;
        t.phase += t.frequency + loopGain[0] * psi;
        if (t.phase > pi) t.phase -= 2 * pi;
        if (t.phase < -pi) t.phase += 2 * pi;
    }
    // Input beyond float range (or not a number) spoils the weights: start
    // the trackers afresh; the history clears itself within one analysis.
    if (!std::isfinite(e)) {
        for (Tracker& t : trackers) t = Tracker{};
        return 0.0f;
    }
    return e;
}

}  // namespace tolvek
