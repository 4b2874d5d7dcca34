// Drawing on a QImage (Format_RGB32) with the pixel rules the layout was
// designed for: a line from A to B sets the pixels from A up to but not
// including B; a rectangle (left, top, right, bottom) covers columns
// left..right-1 and rows top..bottom-1, outlined by the pen and filled by
// the brush; every pen is one pixel wide. Lines and rectangles are written
// straight into the pixels so these rules hold exactly; text goes through a
// QPainter without antialiasing. Everything is clipped to the image, so any
// coordinate a clamped conversion can produce is safe.
//
// Coordinates are logical pixels. On an image with a device pixel ratio
// above 1 (a scaled screen), each logical pixel covers the device pixels
// whose centres lie in it, so lines stay sharp and exactly where the layout
// puts them, and text is drawn at the device's full resolution.
#pragma once

#include <QFont>
#include <QImage>
#include <QPainter>
#include <QPoint>
#include <QString>

#include <cstdint>
#include <optional>

namespace tolvek {

struct Pen {
    QRgb colour;
    bool dotted = false;  // 3 pixels on, 3 off, starting on at the line's first pixel
};

enum class TextAlign { leftTop, centreTop, rightTop };

class GdiSurface {
  public:
    explicit GdiSurface(QImage& image);  // image must be Format_RGB32 (or null)
    ~GdiSurface();
    GdiSurface(const GdiSurface&) = delete;
    GdiSurface& operator=(const GdiSurface&) = delete;

    void fill(QRgb colour);
    void setPixel(int x, int y, QRgb colour);
    void line(QPoint from, QPoint to, Pen pen);
    // Joins each point to the next; only the very last point is left out.
    void polyline(const QPoint* points, int count, Pen pen);
    void rectangle(int left, int top, int right, int bottom, QRgb pen, QRgb brush);

    // Text with its reference point at the top edge, as `align` says.
    void text(QPoint ref, const QString& s, const QFont& font, QRgb colour, TextAlign align, bool opaqueBlack = false);
    // Text turned 90 degrees counter-clockwise: it runs upward from `ref`,
    // its glyphs to the right of it.
    void upwardText(QPoint ref, const QString& s, const QFont& font, QRgb colour);

  private:
    QPainter& painter();
    void endText();
    bool inside(int x, int y) const { return x >= 0 && y >= 0 && x < width_ && y < height_; }
    void plot(int64_t x, int64_t y, QRgb colour);                           // one logical pixel, inside
    void fillSpan(int64_t x0, int64_t y0, int64_t x1, int64_t y1, QRgb c);  // logical, clipped

    QImage& image_;
    qreal scale_;                      // device pixels per logical pixel
    int width_, height_;               // logical size
    std::optional<QPainter> painter_;  // open only while texts are drawn
};

// Copies `size` pixels from `src` at `srcPos` to `dst` at `dstPos`, like a
// block copy: the source is clipped to its image (clipped-off pixels leave
// the destination as it was), the destination to its image; `src` may be
// `dst` with overlapping areas. Positions and sizes are logical pixels; an
// image of another device pixel ratio is sampled pixel by pixel.
void copyPixels(QImage& dst, QPoint dstPos, const QImage& src, QPoint srcPos, QSize size);

}  // namespace tolvek
