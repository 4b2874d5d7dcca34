// A main-window picture painted from settings and spectra the test sets,
// with helpers to look at its pixels.
#pragma once

#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QRect>

#include <memory>
#include <vector>

#include "main_window_paint.h"

namespace tolvek::test {

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
        const PaintInputs in{settings, shared, mouseBin, brightness, overload, recorderStatus};
        paintMainWindow(picture, in, *state);
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
    colourMask(image, colour, area, &n);
    return n;
}

enum class Anchor { left, centre, right };

// A text drawn alone with plain QPainter calls: the reference point is on
// the text's top edge, at its left end, middle or right end.
struct ReferenceText {
    QString text;
    QPoint ref;
    Anchor anchor = Anchor::left;
};
inline QImage referenceTexts(QSize size, const QFont& font, QRgb colour, const std::vector<ReferenceText>& texts) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::black);
    QPainter p(&image);
    p.setFont(font);
    p.setPen(QColor(colour));
    const QFontMetrics fm(font);
    for (const ReferenceText& t : texts) {
        const int w = fm.horizontalAdvance(t.text);
        const int x = t.ref.x() - (t.anchor == Anchor::centre ? w / 2 : t.anchor == Anchor::right ? w : 0);
        p.drawText(QPoint(x, t.ref.y() + fm.ascent()), t.text);
    }
    return image;
}

}  // namespace tolvek::test
