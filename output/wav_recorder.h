// The WAV recorder: the audio callback pushes finished blocks into the
// engine's record ring; a writer thread started here pops them and appends
// them to the file, so no disk write ever runs in the callback.
//
// The file is valid at every moment: a header for no data is written at
// start, and the writer rewrites it about once a second with the bytes it
// has really written. A file that reaches the largest size the WAV size
// fields hold is completed and the recording goes on in a new file. Blocks
// lost because the disk was too slow for the ring are written as silence,
// so the recording keeps its length in time; the loss is reported when it
// ends. A write failure ends the recording where it got to; the error is
// kept for the window (takeError) and the program goes on.
//
// All member functions run on the window's thread.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "engine.h"
#include "output_result.h"
#include "wav_header.h"

namespace tolvek {

using RecordRing = decltype(Engine::recordRing);

struct RecorderTiming {
    std::chrono::milliseconds poll{20};            // writer's sleep while the ring is empty
    std::chrono::milliseconds headerUpdate{1000};  // how stale the header's sizes may get
    std::function<void()> beforeDrain;             // tests: runs on the writer before each drain (may stall it)
};

class WavRecorder {
  public:
    // `ring`, `recordingOn` and `sampleRate` are the engine's. `maxDataBytes`
    // is the data size at which a file is completed and the recording goes
    // on in a new one (the 32-bit size fields).
    WavRecorder(RecordRing& ring, ProcessingSettings& settings, RecorderTiming timing = {},
                uint32_t maxDataBytes = waveMaxDataBytes);
    ~WavRecorder();  // completes a running recording
    WavRecorder(const WavRecorder&) = delete;
    WavRecorder& operator=(const WavRecorder&) = delete;

    // Command 201. Completes a running recording first, then creates
    // "Wave Capture hh.mm.ss h.wav" (with " (2)" etc. when taken) in `dir`
    // (empty: the current directory) at the current `sampleRate`. On failure
    // nothing runs and `recordingOn` stays 0.
    OutputResult startRecording(const std::string& dir = "");

    // Command 203 and program end: `recordingOn` = 0, the writer appends the
    // blocks still queued, completes the header and closes the file.
    // Does nothing when idle.
    void stopRecording();

    // After a rate change, with the stream stopped: completes the running
    // file at its own rate and continues in a new file at `rate`. Does
    // nothing when no recording runs.
    OutputResult restartAtRate(int rate);

    bool recording() const;
    std::string path() const;  // the current or last file
    uint32_t waveBytesWritten() const { return bytesWritten.load(std::memory_order_relaxed); }
    uint32_t blocksLost() const;
    // For the status line under "*** RECORDING ***": e.g. "3 blocks lost",
    // empty while nothing was lost or no recording runs.
    std::string statusText() const;
    // A failure of the writer, or the loss of blocks reported when a
    // recording ends, since the last call (once), or empty.
    std::string takeError();

  private:
    OutputResult start(const std::string& dir, int rate);
    void writerLoop();
    void drainRing(uint8_t* frames);
    void appendSilence(uint32_t blocks);
    void append(const uint8_t* frames);
    bool appendBlock(const uint8_t* frames);
    bool continueInNewFile();
    bool rewriteHeader();
    void fail(const std::string& what);
    void report(const std::string& what);
    void finishFile();

    RecordRing& ring;
    ProcessingSettings& settings;
    const RecorderTiming timing;
    const uint32_t maxDataBytes;

    // Set on the window's thread while no writer runs; then the writer's.
    int fd = -1;
    std::string directory;
    int32_t fileRate = 0;
    bool failed = false;        // writer only
    uint32_t nextSequence = 0;  // writer only: the ring sequence the next block of the timeline has

    std::atomic<uint32_t> bytesWritten{0};  // sample bytes in the file; 0 while idle
    std::atomic<bool> stopRequested{false};
    std::thread writer;

    mutable std::mutex mutex;  // guards filePath (the writer changes it at the size limit) and pendingError
    std::string filePath;
    std::string pendingError;
};

}  // namespace tolvek
