// A main-window picture painted from settings and spectra the test sets,
// with helpers to look at its pixels.
#pragma once

#include <gtest/gtest.h>

#include <QImage>

#include <limits>
#include <memory>

#include "main_window_paint.h"

namespace tolvek::test {

constexpr float inf = std::numeric_limits<float>::infinity(), nan = std::numeric_limits<float>::quiet_NaN();

class PaintFixture : public ::testing::Test {
  protected:
    ProcessingSettings settings;
    SharedValues shared;
    std::unique_ptr<DisplayState> state = std::make_unique<DisplayState>();
    QImage picture{paintedWidth, paintedHeight, QImage::Format_RGB32};
    float mouseBin = 0.0f;
    int brightness = 80;
    bool overload = false;
    QString recorderStatus;

    // `blocks` finished blocks, each adding its row, then one paint.
    void paint(int blocks = 1) {
        for (int b = 0; b < blocks; ++b) addBlockRow(*state, shared, brightness);
        paintMainWindow(picture, {settings, shared, mouseBin, brightness, overload, recorderStatus}, *state);
    }
    void setFiltered(int i, float m) { put(shared.filteredSpectrum[i], m); }
    void setInput(int i, float m) { put(shared.inputSpectrum[i], m); }
    QRgb at(int x, int y) const { return picture.pixel(x, y); }
};

// Pixels of `colour` in `area` of `image`, as a mask image, and their number.
inline QImage colourMask(const QImage& image, QRgb colour, QRect area, int* count = nullptr) {
    QImage mask(image.size(), QImage::Format_Mono);
    mask.fill(0);
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if ((image.pixel(x, y) & 0xffffff) == (colour & 0xffffff)) mask.setPixel(x, y, 1), ++n;
    if (count) *count = n;
    return mask;
}
inline int countColour(const QImage& image, QRgb colour, QRect area) {
    int n = 0;
    return colourMask(image, colour, area, &n), n;
}

}  // namespace tolvek::test
