#include "comb_filter.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace tolvek {

CombFilter::CombFilter() noexcept { setup(20.0f, 22050); }

void CombFilter::requestSetup(float periodMs, int sampleRate) noexcept {
    requestedPeriodMs.store(periodMs, std::memory_order_relaxed);
    requestedRate.store(sampleRate, std::memory_order_relaxed);
    setupRequest.post();
}

void CombFilter::setup(float periodMs, int sampleRate) noexcept {
    combRate = std::clamp(sampleRate, 1, 1000000);
    // Nonsense periods are brought into the range the line can hold.
    double nominal = static_cast<double>(periodMs) * combRate / 1000;
    if (!(nominal >= 1.0)) nominal = 1.0;
    combNominalPeriod = static_cast<float>(std::min(nominal, maxNominalPeriod));
    combPeriod = combNominalPeriod;
    combPeriodMax = static_cast<float>(static_cast<double>(combPeriod) * 1.005);
    combPeriodMin = static_cast<float>(static_cast<double>(combPeriod) * 0.995);

    const int n = static_cast<int>((static_cast<double>(combPeriodMax) + 11) * combTeeth);
    int length = 1;
    while (length < n) length *= 2;
    std::memset(combDelayLine, 0, sizeof(float) * static_cast<size_t>(length));
    combMask = length - 1;
    combWriteIndex &= combMask;
}

void CombFilter::reset() noexcept {
    std::memset(combDelayLine, 0, sizeof combDelayLine);
    combWriteIndex = 0;
    combPeriod = combNominalPeriod;
    combProbeOffset = 1.0f;
    combLowSum = combHighSum = combCentreSum = 0.0f;
    combLowPower = combHighPower = combCentrePower = 0.0f;
    combAdaptCounter = 0;
}

// Linear interpolation between the two samples around a fractional delay.
// Neither the stored samples nor the estimate are rounded to whole comb
// units: a comb unit is 10^-6 of full scale only at input level 0, and at
// the start level 90 it is 1/692 of full scale, which would swallow weak hum
// and add a noise floor near -69 dBFS.
double CombFilter::readLine(float delay) const noexcept {
    const int i = static_cast<int>(delay);
    const double a = combDelayLine[(combWriteIndex - i) & combMask];
    const double b = combDelayLine[(combWriteIndex - i - 1) & combMask];
    return (b - a) * (static_cast<double>(delay) - i) + a;
}

// The mean of the signal one to four periods back.
float CombFilter::probe(float period) const noexcept {
    double sum = 0.0;
    float delay = period;
    for (int t = 0; t < combTeeth; ++t) {
        sum += readLine(delay);
        delay += period;
    }
    return static_cast<float>(sum / combTeeth);
}

void CombFilter::adaptPeriod() noexcept {
    const double high = combHighPower, low = combLowPower, centre = combCentrePower;
    double r = high / low;
    const double qr = high * low / centre / centre;
    if (std::isnan(r)) r = 1.0;  // both side probes silent: no preferred side
    int dir = 1;
    if (!(r > 1)) {
        dir = -1;
        r = 1 / r;
    }
    const double f = std::min(std::pow(r, 10), 10.0);
    const double stepMs = dir * f * 0.01 / combTeeth;

    // Narrow the probes while the centre clearly beats both sides, widen
    // them while the three are alike.
    if (qr < 0.5)
        combProbeOffset = combProbeOffset / 2;
    else if (qr > 0.8)
        combProbeOffset = combProbeOffset * 2;
    combProbeOffset = std::clamp(combProbeOffset, 0.1f, 10.0f);

    const float moved = static_cast<float>(static_cast<double>(combPeriod) + stepMs * combRate / 1000);
    combPeriod = std::clamp(moved, combPeriodMin, combPeriodMax);
}

float CombFilter::step(float x) noexcept {
    if (setupRequest.acquire())
        setup(requestedPeriodMs.load(std::memory_order_relaxed), requestedRate.load(std::memory_order_relaxed));
    x = std::isnan(x) ? 0.0f : std::clamp(x, -inputLimit, inputLimit);

    combDelayLine[combWriteIndex] = x;
    const auto track = [](double v, float& sum, float& power) {
        sum = static_cast<float>((static_cast<double>(sum) + v) * 0.999);
        const double s = sum;
        power = static_cast<float>(static_cast<double>(power) * 0.9999 + s * s * 0.0001);
    };
    track(probe(combPeriod - combProbeOffset), combLowSum, combLowPower);
    track(probe(combPeriod + combProbeOffset), combHighSum, combHighPower);
    const float centre = probe(combPeriod);
    track(centre, combCentreSum, combCentrePower);

    ++combAdaptCounter;
    if (combAdaptCounter > combAdaptInterval * combRate) {
        if (combCentrePower != 0.0f) adaptPeriod();
        combAdaptCounter = 0;
    }
    combWriteIndex = (combWriteIndex + 1) & combMask;
    return static_cast<float>(static_cast<double>(x) - static_cast<double>(centre));
}

}  // namespace tolvek
