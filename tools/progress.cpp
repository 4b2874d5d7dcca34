#include "progress.h"

#include <unistd.h>

#include <cstdio>

namespace tolvek {

Progress::Progress(bool enabled) : shown(enabled && ::isatty(STDERR_FILENO)) {}

void Progress::update(double done, double total) {
    if (!shown) return;
    const auto now = Clock::now();
    if (now - lastDrawn < std::chrono::milliseconds(250)) return;
    lastDrawn = now;
    const double elapsed = std::chrono::duration<double>(now - start).count();
    const double speed = done / elapsed;  // audio seconds per second
    if (total > 0) {
        const int left = static_cast<int>((total - done) / speed + 0.5);
        std::fprintf(stderr, "\r%3.0f %%  %.0fx realtime  %d:%02d left ", 100 * done / total, speed, left / 60,
                     left % 60);
    } else {
        std::fprintf(stderr, "\r%.0f s done  %.0fx realtime ", done, speed);
    }
    std::fflush(stderr);
}

void Progress::finish() {
    if (shown) std::fputs("\r\033[K", stderr);
}

}  // namespace tolvek
