// Painting of the main window's client area into an off-screen image.
// Everything drawn comes in as arguments, so tests render it headless.
#pragma once

#include <QImage>
#include <QString>

#include "settings.h"
#include "shared_values.h"

namespace tolvek {

// The picture that lives from one paint to the next.
// The waterfall's working rows: the paint draws into rows 0..199 and shows
// rows 1..180; a taller surface would only hold memory that is never drawn.
constexpr int waterfallSurfaceRows = 200;

struct DisplayState {
    QImage waterfallSurface;           // 990 x waterfallSurfaceRows, Format_RGB32, black at creation
    float signalLevel = 0.0f;          // dB, from the filtered spectrum; -110 or more after a paint
    float previousSignalLevel = 0.0f;  // the level of the newest waterfall row
    DisplayState();
};

struct PaintInputs {
    ProcessingSettings& settings;  // positions, notches, rate, recording, CPU-load switch
    const SharedValues& shared;    // spectra, CPU load
    float mouseBin = 0.0f;         // pointer column over the graph, x - 60
    int brightness = 80;           // Brightness slider, 0..100
    bool overload = false;         // the overload text, as latched for the latest block
    QString recorderStatus;        // extra status line of the recorder (dropped blocks, errors), may be empty
};

// Paints the whole client picture into `backBuffer` (its size in device
// pixels is the client size times its device pixel ratio; it is converted
// to Format_RGB32 if need be, filled black, and the layout is drawn in its
// top-left 1140 x 790 logical pixels, clipped to its size) and updates the
// signal level in `state`. Reads the spectra and settings once each; writes
// nothing the audio thread owns, and adds no waterfall row, so a paint may
// run as often as the window system asks. The window's thread only.
void paintMainWindow(QImage& backBuffer, const PaintInputs& in, DisplayState& state);

// A finished block's waterfall row, from the spectrum as it is now, with its
// piece of the level trace; the history scrolls down one row. Called once
// per block as blocks arrive, whether or not the window is painted, so each
// row shows its own block.
void addBlockRow(DisplayState& state, const SharedValues& shared, int brightness);

// The part of the picture that changes while the program runs, client
// coordinates, right and bottom exclusive: what to repaint after a block.
// The waterfall and the traces reach column 922, so the right edge is 923.
constexpr int refreshLeft = 50, refreshTop = 0, refreshRight = 923, refreshBottom = 500;
// The extent of the whole layout: a back buffer of this size holds all of it.
constexpr int paintedWidth = 1140, paintedHeight = 790;

}  // namespace tolvek
