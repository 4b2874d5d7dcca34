#include "spectrum_pointer.h"

#include <algorithm>
#include <cstdlib>

#include "conversions.h"

namespace tolvek {

namespace {

// Far more than any wheel sends at once; keeps the sum and the steps bounded.
constexpr int maxWheelDelta = 120 * 1000;

// Half-widths of the markers' zones in columns, in the order lower, upper,
// notch 1..4. Notch 2 can be grabbed farther out than it highlights.
constexpr int pressHalfWidth[] = {10, 10, 3, 10, 10, 25};
constexpr int hoverHalfWidth[] = {10, 10, 3, 5, 10, 25};

bool inGraphRows(int y) { return y >= graphTop && y <= graphBottom; }

bool inZone(int x, int column, int halfWidth) { return x >= column - halfWidth && x <= column + halfWidth; }

}  // namespace

int markerColumn(float position) noexcept { return positionToBin(position) + graphLeft; }

void shiftAllPositions(ProcessingSettings& settings, float step) noexcept {
    for (std::atomic<float>* p : {&settings.lowerCutoff, &settings.upperCutoff, &settings.notch1Freq,
                                  &settings.notch2Freq, &settings.notch3Freq, &settings.notch4Freq})
        put(*p, get(*p) + step);
}

std::atomic<float>& SpectrumPointer::position(int marker) noexcept {
    if (marker == 0) return s.lowerCutoff;
    if (marker == 1) return s.upperCutoff;
    return s.notchFreq(marker - 2);
}

// The cut-offs always highlight; a notch only while it is switched on.
bool SpectrumPointer::hoverable(int marker) const noexcept { return marker < 2 || get(s.notchOn(marker - 2)) == 1; }

bool SpectrumPointer::dragging() const noexcept {
    for (bool d : dragged)
        if (d) return true;
    return false;
}

void SpectrumPointer::press(int x, int y) noexcept {
    if (!inGraphRows(y)) return;
    // Overlapping zones grab several markers at once; a notch is grabbed
    // whether or not it is on.
    for (int m = 0; m < markerCount; ++m) {
        if (!inZone(x, markerColumn(get(position(m))), pressHalfWidth[m])) continue;
        dragged[m] = true;
        dragAnchorX = x;
        dragStartValue[m] = get(position(m));
    }
}

void SpectrumPointer::release() noexcept {
    for (bool& d : dragged) d = false;
}

PointerShape SpectrumPointer::move(int x, int y) noexcept {
    // The cut-offs' order is mended here and only here, one move after a
    // drag has crossed them; the drag flags stay with their variables, so
    // the dragged edge changes role.
    const float lower = get(s.lowerCutoff), upper = get(s.upperCutoff);
    if (!(lower <= upper)) {
        put(s.lowerCutoff, upper);
        put(s.upperCutoff, lower);
        return PointerShape::Arrow;
    }
    if (!inGraphRows(y)) {
        bin = 0.0f;
        return PointerShape::Arrow;
    }
    bin = static_cast<float>(x - graphLeft);

    // A marker under the pointer that is not itself dragged shows the sizing
    // cursor and holds the drag still while the pointer crosses it.
    for (int m = 0; m < markerCount; ++m)
        if (!dragged[m] && hoverable(m) && inZone(x, markerColumn(get(position(m))), hoverHalfWidth[m]))
            return PointerShape::Size;

    // Of several grabbed markers only the first moves.
    for (int m = 0; m < markerCount; ++m) {
        if (!dragged[m]) continue;
        put(position(m),
            static_cast<float>((x - dragAnchorX) * positionUnitsPerBin + static_cast<double>(dragStartValue[m])));
        return PointerShape::Size;
    }
    return PointerShape::Arrow;
}

void SpectrumPointer::wheel(int deltaY, bool ctrl, bool shift) noexcept {
    // Touchpads and hi-res wheels send many small deltas: a step is made for
    // every whole notch turned, and the rest waits for the next event.
    wheelRest += std::clamp(deltaY, -maxWheelDelta, maxWheelDelta);
    const int notches = wheelRest / wheelNotch;  // toward zero, in either direction
    wheelRest -= notches * wheelNotch;
    const float step = shift ? 1000.0f : ctrl ? 10.0f : 100.0f;
    for (int n = 0; n < std::abs(notches); ++n) shiftAllPositions(s, notches < 0 ? -step : step);
}

}  // namespace tolvek
