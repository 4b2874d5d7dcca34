#include "gdi_surface.h"

#include <QFontMetrics>

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace tolvek {

namespace {

// Far outside any image, small enough that products of two stay in 64 bits.
constexpr int64_t coordinateLimit = int64_t{1} << 28;

int64_t pulledIn(int v) { return std::clamp<int64_t>(v, -coordinateLimit, coordinateLimit); }

// a / n rounded to the nearest integer, halves away from zero, so a line
// steps to its next row or column at the same point in either direction; n > 0.
int64_t roundedRatio(int64_t a, int64_t n) {
    const int64_t rounded = (2 * std::abs(a) + n) / (2 * n);
    return a < 0 ? -rounded : rounded;
}

int64_t sign(int64_t v) { return (v > 0) - (v < 0); }

}  // namespace

GdiSurface::GdiSurface(QImage& image) : image_(image), width_(image.width()), height_(image.height()) {}

GdiSurface::~GdiSurface() { endText(); }

QPainter& GdiSurface::painter() {
    if (!painter_) {
        painter_.emplace(&image_);
        painter_->setRenderHint(QPainter::Antialiasing, false);
        painter_->setRenderHint(QPainter::TextAntialiasing, false);
    }
    return *painter_;
}

void GdiSurface::endText() { painter_.reset(); }

void GdiSurface::fill(QRgb colour) {
    endText();
    if (!image_.isNull()) image_.fill(colour);
}

void GdiSurface::setPixel(int x, int y, QRgb colour) {
    endText();
    if (inside(x, y)) reinterpret_cast<QRgb*>(image_.scanLine(y))[x] = colour;
}

void GdiSurface::line(QPoint from, QPoint to, Pen pen) {
    endText();
    const int64_t x0 = pulledIn(from.x()), y0 = pulledIn(from.y());
    const int64_t dx = pulledIn(to.x()) - x0, dy = pulledIn(to.y()) - y0;
    const int64_t steps = std::max(std::abs(dx), std::abs(dy));
    if (steps == 0 || image_.isNull()) return;

    // Step k moves one pixel along the major axis; keep only the steps whose
    // major coordinate lies on the image.
    const bool xMajor = std::abs(dx) >= std::abs(dy);
    const int64_t start = xMajor ? x0 : y0;
    const int64_t dir = sign(xMajor ? dx : dy);
    const int64_t limit = xMajor ? width_ : height_;
    int64_t first = 0, end = steps;
    if (dir > 0) {
        first = std::max(first, -start);
        end = std::min(end, limit - start);
    } else {
        first = std::max(first, start - (limit - 1));
        end = std::min(end, start + 1);
    }

    QRgb* bits = reinterpret_cast<QRgb*>(image_.bits());
    const int64_t stride = image_.bytesPerLine() / 4;
    for (int64_t k = first; k < end; ++k) {
        if (pen.dotted && k % 6 >= 3) continue;
        const int64_t x = x0 + roundedRatio(k * dx, steps);
        const int64_t y = y0 + roundedRatio(k * dy, steps);
        if (x >= 0 && y >= 0 && x < width_ && y < height_) bits[y * stride + x] = pen.colour;
    }
}

void GdiSurface::polyline(const QPoint* points, int count, Pen pen) {
    for (int i = 0; i + 1 < count; ++i) line(points[i], points[i + 1], pen);
}

void GdiSurface::rectangle(int left, int top, int right, int bottom, QRgb pen, QRgb brush) {
    endText();
    int64_t l = pulledIn(left), t = pulledIn(top), r = pulledIn(right), b = pulledIn(bottom);
    if (l > r) std::swap(l, r);
    if (t > b) std::swap(t, b);
    if (l == r || t == b || image_.isNull()) return;

    // Fills columns x0..x1-1 of rows y0..y1-1, clipped.
    auto span = [&](int64_t x0, int64_t y0, int64_t x1, int64_t y1, QRgb c) {
        x0 = std::max<int64_t>(x0, 0), y0 = std::max<int64_t>(y0, 0);
        x1 = std::min<int64_t>(x1, width_), y1 = std::min<int64_t>(y1, height_);
        if (x1 <= x0) return;
        for (int64_t y = y0; y < y1; ++y) {
            QRgb* row = reinterpret_cast<QRgb*>(image_.scanLine(int(y)));
            std::fill(row + x0, row + x1, c);
        }
    };
    span(l + 1, t + 1, r - 1, b - 1, brush);
    span(l, t, r, t + 1, pen);
    span(l, b - 1, r, b, pen);
    span(l, t, l + 1, b, pen);
    span(r - 1, t, r, b, pen);
}

void GdiSurface::text(QPoint ref, const QString& s, const QFont& font, QRgb colour, TextAlign align, bool opaqueBlack) {
    if (image_.isNull()) return;
    const QFontMetrics metrics(font);
    const int width = metrics.horizontalAdvance(s);
    int x = ref.x();
    if (align == TextAlign::centreTop) x -= width / 2;
    if (align == TextAlign::rightTop) x -= width;
    QPainter& p = painter();
    if (opaqueBlack) p.fillRect(QRect(x, ref.y(), width, metrics.height()), QColor(Qt::black));
    p.setFont(font);
    p.setPen(QColor(colour));
    p.drawText(QPoint(x, ref.y() + metrics.ascent()), s);
}

void GdiSurface::upwardText(QPoint ref, const QString& s, const QFont& font, QRgb colour) {
    if (image_.isNull()) return;
    const QFontMetrics metrics(font);
    QPainter& p = painter();
    p.save();
    p.translate(ref);
    p.rotate(-90.0);
    p.setFont(font);
    p.setPen(QColor(colour));
    p.drawText(QPoint(0, metrics.ascent()), s);
    p.restore();
}

void copyPixels(QImage& dst, QPoint dstPos, const QImage& src, QPoint srcPos, QSize size) {
    if (dst.isNull() || src.isNull()) return;
    // Clip the source rectangle to its image, then the destination to its own.
    QRect from(srcPos, size);
    QRect clipped = from & src.rect();
    QPoint to = dstPos + (clipped.topLeft() - from.topLeft());
    QRect target = QRect(to, clipped.size()) & dst.rect();
    if (target.isEmpty()) return;
    const QPoint origin = clipped.topLeft() + (target.topLeft() - to);

    const size_t bytes = size_t(target.width()) * 4;
    auto copyRow = [&](int r) {
        const uchar* s = src.constScanLine(origin.y() + r) + origin.x() * 4;
        uchar* d = dst.scanLine(target.y() + r) + target.x() * 4;
        std::memmove(d, s, bytes);
    };
    // Within one image a downward copy must start from the bottom row.
    const bool bottomUp = &dst == &src && target.y() > origin.y();
    for (int i = 0; i < target.height(); ++i) copyRow(bottomUp ? target.height() - 1 - i : i);
}

}  // namespace tolvek
