// Notices that the sound device has stopped delivering blocks: unplugged,
// its server gone, or its driver hung. The window feeds it the stream's
// block count at every poll; paused blocks count too, so a pause is never
// taken for a lost device.
#pragma once

#include <cstdint>

namespace tolvek {

// How long without a new block counts as a lost device: four block periods,
// but never less than a second, which a busy machine's scheduling never
// comes near. The first block after a start may take longer (servers that
// are slow to begin).
int64_t blockSilenceLimitMs(int sampleRate, bool firstBlock);

class DeviceWatchdog {
  public:
    // A stream has (re)started at `sampleRate`; `count` is its callback
    // count now, `nowMs` a steady clock.
    void restart(uint32_t count, int64_t nowMs, int sampleRate);
    // No stream runs: nothing to watch.
    void disarm() { armed = false; }

    // True once, at the first poll that finds the device silent too long.
    bool lost(uint32_t count, int64_t nowMs);
    // Milliseconds since the last new block, at the poll that found it lost.
    int64_t silenceMs() const { return silence; }

  private:
    bool armed = false;
    bool blockSeen = false;
    int rate = 0;
    uint32_t lastCount = 0;
    int64_t lastChangeMs = 0;
    int64_t silence = 0;
};

}  // namespace tolvek
