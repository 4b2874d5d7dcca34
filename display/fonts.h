// The three fonts of the main window. Heights are cell heights in pixels
// (ascent + descent), as the layout's text rows assume; no antialiasing,
// so every text pixel has exactly the text colour.
#pragma once

#include <QFont>

namespace tolvek {

const QFont& defaultFont();  // a plain proportional font for every ordinary text
const QFont& captionFont();  // "Courier New", cell 15, for the rotated slider captions
const QFont& meterFont();    // "Courier New", cell 13, for the S-meter scale

}  // namespace tolvek
