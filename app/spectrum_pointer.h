// Pointer and wheel gestures on the spectrum graph: dragging the band edges
// and notches sideways, the wheel shifting all six together, the pointer
// shape and the pointer column for the read-out. Pure logic on the settings,
// so the main window only forwards its mouse events here.
#pragma once

#include <atomic>

#include "graph_geometry.h"
#include "settings.h"

namespace tolvek {

// Client column at which a position value is drawn: one column per FFT bin.
int markerColumn(float position) noexcept;

// Adds `step` position units to both cut-offs and the four notches.
void shiftAllPositions(ProcessingSettings& settings, float step) noexcept;

enum class PointerShape { Arrow, Size };  // Size: the west-east sizing cursor

class SpectrumPointer {
  public:
    explicit SpectrumPointer(ProcessingSettings& settings) : s(settings) {}

    // Left button down at client (x, y): grabs every marker whose zone holds x.
    void press(int x, int y) noexcept;
    // Left button up: ends every drag.
    void release() noexcept;
    // Pointer moved to client (x, y): hover feedback or the drag itself.
    PointerShape move(int x, int y) noexcept;
    // One wheel message; deltaY is the vertical angle delta in eighths of a
    // degree (0 for a sideways swipe). One step per 120 units, added up
    // over messages, so a classic notch is one step.
    void wheel(int deltaY, bool ctrl, bool shift) noexcept;

    float mouseBin() const noexcept { return bin; }  // x - 60 over the graph rows, else 0
    bool dragging() const noexcept;

  private:
    static constexpr int markerCount = 6;  // lower, upper, notch 1..4, in test order
    std::atomic<float>& position(int marker) noexcept;
    bool hoverable(int marker) const noexcept;

    ProcessingSettings& s;
    bool dragged[markerCount] = {};
    int dragAnchorX = 0;                     // client x of the press that started the drags
    float dragStartValue[markerCount] = {};  // position units at that press
    float bin = 0.0f;
    static constexpr int wheelNotch = 120;  // angle delta of one classic wheel notch
    int wheelRest = 0;                      // delta not yet turned into a step, |rest| < 120
};

}  // namespace tolvek
