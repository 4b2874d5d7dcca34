// The offline tool's progress line on a terminal: percent done, speed as a
// realtime factor and time left, redrawn a few times a second.
#pragma once

#include <chrono>

namespace tolvek {

class Progress {
  public:
    // Shown only when `enabled` and standard error is a terminal.
    explicit Progress(bool enabled);

    // `done` and `total` in seconds of audio; total < 0 when unknown.
    void update(double done, double total);

    // Clears the line.
    void finish();

  private:
    using Clock = std::chrono::steady_clock;
    bool shown;
    Clock::time_point start = Clock::now(), lastDrawn = start;
};

}  // namespace tolvek
