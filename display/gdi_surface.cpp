#include "gdi_surface.h"

#include <QFontMetrics>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

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

// The first device pixel of logical coordinate v: the one whose centre is
// the first at or beyond v. Device pixel X thus shows logical pixel
// floor((X + 0.5) / scale), the nearest-neighbour rule.
int64_t devicePixel(int64_t v, qreal scale) { return scale == 1.0 ? v : int64_t(std::ceil(double(v) * scale - 0.5)); }

// The logical pixels an image holds whole.
int logicalPixels(int devicePixels, qreal scale) {
    int n = int(std::floor(devicePixels / scale + 1e-9));
    while (n > 0 && devicePixel(n, scale) > devicePixels) --n;
    return n;
}

}  // namespace

GdiSurface::GdiSurface(QImage& image)
    : image_(image),
      scale_(image.isNull() ? 1.0 : image.devicePixelRatio()),
      width_(logicalPixels(image.width(), scale_)),
      height_(logicalPixels(image.height(), scale_)) {}

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
    if (inside(x, y)) plot(x, y, colour);
}

void GdiSurface::plot(int64_t x, int64_t y, QRgb colour) {
    if (scale_ == 1.0) {
        reinterpret_cast<QRgb*>(image_.scanLine(int(y)))[x] = colour;
        return;
    }
    fillSpan(x, y, x + 1, y + 1, colour);
}

void GdiSurface::fillSpan(int64_t x0, int64_t y0, int64_t x1, int64_t y1, QRgb c) {
    x0 = std::max<int64_t>(x0, 0), y0 = std::max<int64_t>(y0, 0);
    x1 = std::min<int64_t>(x1, width_), y1 = std::min<int64_t>(y1, height_);
    if (x1 <= x0 || y1 <= y0) return;
    const int64_t left = devicePixel(x0, scale_), right = devicePixel(x1, scale_);
    for (int64_t y = devicePixel(y0, scale_), end = devicePixel(y1, scale_); y < end; ++y) {
        QRgb* row = reinterpret_cast<QRgb*>(image_.scanLine(int(y)));
        std::fill(row + left, row + right, c);
    }
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

    for (int64_t k = first; k < end; ++k) {
        if (pen.dotted && k % 6 >= 3) continue;
        const int64_t x = x0 + roundedRatio(k * dx, steps);
        const int64_t y = y0 + roundedRatio(k * dy, steps);
        if (x >= 0 && y >= 0 && x < width_ && y < height_) plot(x, y, pen.colour);
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

    fillSpan(l + 1, t + 1, r - 1, b - 1, brush);
    fillSpan(l, t, r, t + 1, pen);
    fillSpan(l, b - 1, r, b, pen);
    fillSpan(l, t, l + 1, b, pen);
    fillSpan(r - 1, t, r, b, pen);
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
    const qreal srcScale = src.devicePixelRatio(), dstScale = dst.devicePixelRatio();
    // Clip the source rectangle to its image, then the destination to its own.
    QRect from(srcPos, size);
    QRect clipped = from & QRect(0, 0, logicalPixels(src.width(), srcScale), logicalPixels(src.height(), srcScale));
    QPoint to = dstPos + (clipped.topLeft() - from.topLeft());
    QRect target = QRect(to, clipped.size()) &
                   QRect(0, 0, logicalPixels(dst.width(), dstScale), logicalPixels(dst.height(), dstScale));
    if (target.isEmpty()) return;
    const QPoint origin = clipped.topLeft() + (target.topLeft() - to);

    if (srcScale != 1.0 || dstScale != 1.0) {
        // Between scales (the waterfall onto a scaled picture), never within
        // one image: each device pixel of the target takes the source pixel
        // of the logical pixel its centre lies in.
        const auto logicalOf = [dstScale](int64_t device, int first, int count) {
            return std::clamp(int(std::floor((double(device) + 0.5) / dstScale)) - first, 0, count - 1);
        };
        const int64_t left = devicePixel(target.x(), dstScale), right = devicePixel(target.right() + 1, dstScale);
        std::vector<int64_t> sourceColumn(size_t(right - left));
        for (int64_t x = left; x < right; ++x)
            sourceColumn[size_t(x - left)] =
                devicePixel(origin.x() + logicalOf(x, target.x(), target.width()), srcScale);
        for (int64_t y = devicePixel(target.y(), dstScale), end = devicePixel(target.bottom() + 1, dstScale); y < end;
             ++y) {
            const int row = logicalOf(y, target.y(), target.height());
            const auto* s =
                reinterpret_cast<const QRgb*>(src.constScanLine(int(devicePixel(origin.y() + row, srcScale))));
            QRgb* d = reinterpret_cast<QRgb*>(dst.scanLine(int(y))) + left;
            for (size_t k = 0; k < sourceColumn.size(); ++k) d[k] = s[sourceColumn[k]];
        }
        return;
    }

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
