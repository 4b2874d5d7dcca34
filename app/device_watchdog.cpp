#include "device_watchdog.h"

#include <algorithm>

#include "audio_stream.h"

namespace tolvek {

int64_t blockSilenceLimitMs(int sampleRate, bool firstBlock) {
    const int64_t fourPeriods = 4 * int64_t{blockLength} * 1000 / std::max(sampleRate, 1);
    return std::max<int64_t>(fourPeriods, firstBlock ? 3000 : 1000);
}

void DeviceWatchdog::restart(uint32_t count, int64_t nowMs, int sampleRate) {
    armed = true;
    blockSeen = false;
    rate = sampleRate;
    lastCount = count;
    lastChangeMs = nowMs;
}

bool DeviceWatchdog::lost(uint32_t count, int64_t nowMs) {
    if (!armed) return false;
    if (count != lastCount) {
        blockSeen = true;
        lastCount = count;
        lastChangeMs = nowMs;
        return false;
    }
    silence = nowMs - lastChangeMs;
    if (silence < blockSilenceLimitMs(rate, !blockSeen)) return false;
    armed = false;
    return true;
}

}  // namespace tolvek
