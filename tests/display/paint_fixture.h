// A main-window picture painted from settings and spectra the test sets,
// with helpers to look at its pixels.
#pragma once

#include <gtest/gtest.h>

#include <QImage>

#include <limits>
#include <memory>
#include <set>
#include <utility>

#include "main_window_paint.h"

namespace tolvek::test {

constexpr float inf = std::numeric_limits<float>::infinity(), nan = std::numeric_limits<float>::quiet_NaN();

using Pixels = std::set<std::pair<int, int>>;

// The pixels of `colour` in `area` of `image`.
inline Pixels pixelsOf(const QImage& image, QRgb colour, QRect area) {
    Pixels p;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (((image.pixel(x, y) ^ colour) & 0xffffff) == 0) p.insert({x, y});
    return p;
}

class PaintFixture : public ::testing::Test {
  protected:
    ProcessingSettings settings;
    SharedValues shared;
    std::unique_ptr<DisplayState> state = std::make_unique<DisplayState>();
    QImage picture{paintedWidth, paintedHeight, QImage::Format_RGB32};
    PaintInputs in{settings, shared};  // pointer, brightness, overload, recorder status at their starts

    // `blocks` finished blocks, each adding its row, then one paint.
    void paint(int blocks = 1) {
        for (int b = 0; b < blocks; ++b) addBlockRow(*state, shared, in.brightness);
        paintMainWindow(picture, in, *state);
    }
    void setFiltered(int i, float m) { put(shared.filteredSpectrum[i], m); }
    void setInput(int i, float m) { put(shared.inputSpectrum[i], m); }
    QRgb at(int x, int y) const { return picture.pixel(x, y); }
    size_t count(QRgb colour, QRect area) const { return pixelsOf(picture, colour, area).size(); }
};

}  // namespace tolvek::test
