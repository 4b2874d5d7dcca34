// Painting of the main window's client area into an off-screen image.
// Everything drawn comes in as arguments, so tests render it headless.
#pragma once

#include <QImage>
#include <QString>

#include "settings.h"
#include "shared_values.h"

namespace tolvek {

// The picture that lives from one paint to the next.
struct DisplayState {
    QImage waterfallSurface;          // 990 x 1200, black at creation
    float signalLevel = 0.0f;         // dB, from the filtered spectrum
    float previousSignalLevel = 0.0f; // the clamped level of the previous row
    DisplayState();
};

struct PaintInputs {
    ProcessingSettings& settings;  // positions, notches, rate, recording, CPU-load switch
    SharedValues& shared;          // spectra, overload flag (cleared when shown), CPU load
    float mouseBin = 0.0f;         // pointer column over the graph, x - 60
    int brightness = 80;           // Brightness slider, 0..100
    int waterfallRows = 1;         // new waterfall rows to add: one per finished block, 0 for a plain redraw
    QString recorderStatus;        // extra status line of the recorder (dropped blocks, errors), may be empty
};

// Paints the whole client picture into `backBuffer` (its size is the client
// size; only its top-left 1140 x 790 pixels are drawn) and updates `state`.
void paintMainWindow(QImage& backBuffer, PaintInputs& in, DisplayState& state);

// The rectangle that changes while the program runs: left 50, top 0, right 920, bottom 500 (exclusive).
constexpr int refreshLeft = 50, refreshTop = 0, refreshRight = 920, refreshBottom = 500;

}  // namespace tolvek
