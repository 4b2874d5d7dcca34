#include "level_log.h"

#include <unistd.h>

#include "signal_level.h"

namespace tolvek {

constexpr int rowsPerSecond = 20;  // the chart recorder's 50 ms tick

bool LevelLog::open(const std::string& path, std::string& error) {
    if (!openOutput(path, target, error)) return false;
    file = ::fdopen(target.fd, "w");
    if (!file) {
        ::close(target.fd);
        discardOutput(target);
        error = "cannot write " + target.shownName;
        return false;
    }
    target.fd = -1;
    std::fputs("time_s,level_dB\n", file);
    return true;
}

void LevelLog::afterBlock(const SharedValues& shared, long long outputEnd, int rate) {
    if (!file) return;
    const float level = spectrumLevel(shared);
    for (; rows * rate < outputEnd * rowsPerSecond; ++rows)
        std::fprintf(file, "%.2f,%.2f\n", double(rows) / rowsPerSecond, double(level));
}

bool LevelLog::finish(std::string& error) {
    if (!file) return true;
    const bool written = std::fclose(file) == 0;
    file = nullptr;
    if (!written) {
        error = "cannot write " + target.shownName;
        discardOutput(target);
        return false;
    }
    return commitOutput(target, error);
}

void LevelLog::discard() {
    if (file) std::fclose(file);
    file = nullptr;
    discardOutput(target);
}

}  // namespace tolvek
