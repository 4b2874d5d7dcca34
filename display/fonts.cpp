#include "fonts.h"

#include <QFontMetrics>

namespace tolvek {

namespace {

// The largest pixel size whose cell is no taller than `cellHeight`.
QFont fontWithCell(const QString& family, int cellHeight, QFont::StyleHint hint) {
    QFont font(family);
    font.setStyleHint(hint, QFont::NoAntialias);
    font.setWeight(QFont::Normal);
    for (int size = cellHeight; size > 1; --size) {
        font.setPixelSize(size);
        if (QFontMetrics(font).height() <= cellHeight) break;
    }
    return font;
}

}  // namespace

// Built on first use, once a QGuiApplication exists; the window's thread only.
const QFont& defaultFont() {
    static const QFont font = fontWithCell("Liberation Sans", 16, QFont::SansSerif);
    return font;
}

const QFont& captionFont() {
    static const QFont font = fontWithCell("Courier New", 15, QFont::TypeWriter);
    return font;
}

const QFont& meterFont() {
    static const QFont font = fontWithCell("Courier New", 13, QFont::TypeWriter);
    return font;
}

}  // namespace tolvek
