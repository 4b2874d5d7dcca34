#include "chart_picture.h"

#include "fonts.h"
#include "gdi_surface.h"

namespace tolvek::chart {

namespace {

constexpr QRgb background = qRgb(187, 221, 255);
constexpr QRgb grid = qRgb(170, 170, 170);
constexpr QRgb ink = qRgb(0, 0, 0);
constexpr int textRow = 285;

}  // namespace

void paintChart(QImage& picture, const ChartState& state, const QString& timeOfDay) {
    GdiSurface s(picture);
    s.fill(background);

    // 20 pixels per level division, 16 per time division.
    for (int k = 1; k <= 15; ++k) s.line(QPoint(0, 20 * k), QPoint(862, 20 * k), Pen{grid});
    for (int k = 1; k <= 46; ++k) s.line(QPoint(16 * k, 0), QPoint(16 * k, 301), Pen{grid});

    const QFont& font = meterFont();
    s.text(QPoint(637, textRow), timeOfDay.left(8), font, ink, TextAlign::leftTop);
    if (state.autoCaptureOn == 1) s.text(QPoint(450, textRow), "AUTO CAPTURE ON", font, ink, TextAlign::leftTop);
    s.text(QPoint(250, textRow), state.chartDbScale == 1 ? "10dB/division" : "5dB/division", font, ink,
           TextAlign::leftTop);
    s.text(QPoint(5, textRow), QString::asprintf(" %d seconds/division (approx)", state.chartTimeScale + 1), font, ink,
           TextAlign::leftTop);

    QPoint trace[chartLength];
    for (int i = 0; i < chartLength; ++i) trace[i] = QPoint(state.chartPoints[i].x, state.chartPoints[i].y);
    s.polyline(trace, chartLength, Pen{ink});
}

}  // namespace tolvek::chart
