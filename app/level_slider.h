// The main window's vertical level sliders (input level, brightness, output
// level): value 0 at the top, read into their setting at every movement.
#pragma once

#include <atomic>
#include <cstdint>

class QSlider;
class QWidget;

namespace tolvek {

// Sets the slider to range 0..maximum, page 10, line 1, at `start`, reads it
// into `setting`, and from then on stores every new value (drag, channel
// click, keys, wheel) and hands the keyboard focus back to `focusOwner`, so
// that F1 keeps reaching the main window.
void bindLevelSlider(QSlider& slider, int maximum, int start, std::atomic<int32_t>& setting, QWidget& focusOwner);

}  // namespace tolvek
