// The chart's off-screen picture: background, grid, texts and trace, laid
// out for 700 x 300 pixels.
#pragma once

#include <QImage>
#include <QString>

#include "chart_state.h"

namespace tolvek::chart {

constexpr int pictureWidth = 700, pictureHeight = 300;  // the part copied to the screen

// Draws the whole chart into `picture` (Format_RGB32, any size; clipped to
// it) from `state`, with `timeOfDay` ("14:05:09") as the time stamp.
void paintChart(QImage& picture, const ChartState& state, const QString& timeOfDay);

}  // namespace tolvek::chart
