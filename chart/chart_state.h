// The chart recorder's history and scales, and what one 50 ms tick does to
// them. No Qt: the dialog drives it, tests feed it levels directly.
#pragma once

#include <array>
#include <cstdint>

#include "signal_level.h"

namespace tolvek::chart {

constexpr int chartLength = 700;       // plotted points, one per pixel column
constexpr int tickMs = 50;             // the redraw timer's period
constexpr int levelRow = 50;           // pixel row of 0 dB

// Ticks per plotted point minus one, for 1 s, 10 s, 1 min and 10 min per division.
constexpr int timeScales[] = {0, 9, 59, 599};

struct ChartPoint {
    int32_t x = 0, y = 0;
};

struct ChartState {
    // Values in half-decibels with the sign reversed (-2 x level). Entries
    // 0..698 are the plotted points, oldest first; 699 is the running value
    // the current ticks accumulate into.
    std::array<int32_t, chartLength> chartHistory{};
    std::array<ChartPoint, chartLength> chartPoints{};  // the trace as last built
    int chartTimeScale = 0;                             // 0, 9, 59 or 599
    int chartTickCount = 0;                             // ticks since the last plotted point
    int chartDbScale = 1;                               // 1: 10 dB per division, 2: 5 dB per division
    int autoCaptureOn = 0;
    int captureRequested = 0;
};

// Accumulates one tick's level and plots a point when the time scale's
// count of ticks is complete. Returns true when a point was plotted.
bool advanceChart(ChartState& state, float level);

// The time-scale buttons: new averaging from `signalLevel` (the main
// window's), the plotted history kept.
void chooseTimeScale(ChartState& state, int timeScale, float signalLevel);

// Closing the dialog: history, scales and Auto Capture back to their start.
void resetChart(ChartState& state);

// Auto Capture's period: the span of the 700 points at the time scale, so
// consecutive pictures cover the whole history.
int64_t autoCapturePeriodMs(int timeScale);

}  // namespace tolvek::chart
