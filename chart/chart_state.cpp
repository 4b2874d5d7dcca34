#include "chart_state.h"

#include <cmath>

#include "conversions.h"

namespace tolvek::chart {

bool advanceChart(ChartState& state, float level) {
    int32_t& running = state.chartHistory[chartLength - 1];
    running = truncInt32(static_cast<float>(running) - 2.0f * level);
    if (state.chartTickCount != state.chartTimeScale) {
        ++state.chartTickCount;
        return false;
    }
    state.chartTickCount = 0;
    // The running value holds the previous point and the new ticks' values.
    running /= state.chartTimeScale + 2;
    for (int i = 0; i < chartLength; ++i)
        state.chartPoints[i] = {i, state.chartHistory[i] * state.chartDbScale + levelRow};
    for (int i = 0; i < chartLength - 1; ++i) state.chartHistory[i] = state.chartHistory[i + 1];
    return true;
}

void chooseTimeScale(ChartState& state, int timeScale, float signalLevel) {
    state.chartTimeScale = timeScale;
    state.chartTickCount = 0;
    state.chartHistory[chartLength - 1] = truncInt32(-2.0 * static_cast<double>(signalLevel));
}

void resetChart(ChartState& state) {
    state.chartHistory.fill(0);
    state.chartTimeScale = 0;
    state.chartTickCount = 0;
    state.chartDbScale = 1;
    state.autoCaptureOn = 0;
}

int64_t autoCapturePeriodMs(int timeScale) { return int64_t{chartLength} * tickMs * (timeScale + 1); }

}  // namespace tolvek::chart
