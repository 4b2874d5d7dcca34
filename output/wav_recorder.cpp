#include "wav_recorder.h"

#include <unistd.h>

#include <cstdio>
#include <system_error>
#include <utility>
#include <vector>

#include "capture_names.h"
#include "file_io.h"

namespace tolvek {

namespace {
constexpr size_t blockBytes = size_t(blockLength) * waveFrameBytes;  // 8192

// "12 blocks (0.6 s)" at the file's rate.
std::string lossText(uint32_t blocks, int rate) {
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.1f", double(blocks) * blockLength / (rate > 0 ? rate : 1));
    return std::to_string(blocks) + (blocks == 1 ? " block (" : " blocks (") + seconds + " s)";
}
}  // namespace

WavRecorder::WavRecorder(RecordRing& ring, ProcessingSettings& settings, RecorderTiming timing, uint32_t maxDataBytes)
    : ring(ring), settings(settings), timing(timing), maxDataBytes(maxDataBytes) {}

WavRecorder::~WavRecorder() { stopRecording(); }

OutputResult WavRecorder::startRecording(const std::string& dir) { return start(dir, get(settings.sampleRate)); }

std::string WavRecorder::path() const {
    std::lock_guard lock(mutex);
    return filePath;
}

OutputResult WavRecorder::restartAtRate(int rate) {
    if (!recording()) return {};
    const std::string dir = directory;
    stopRecording();
    return start(dir, rate);
}

OutputResult WavRecorder::start(const std::string& dir, int rate) {
    stopRecording();

    CreatedFile f = createUniqueFile(dir, waveCaptureStem(localTimeNow()), ".wav");
    if (f.fd < 0) return {"", f.error};
    const auto header = waveHeader(0, rate);
    size_t written = 0;
    if (!writeFully(f.fd, header.data(), header.size(), written)) {
        const std::string error = "Could not write to " + f.path + ": " + errnoText();
        ::close(f.fd);
        ::unlink(f.path.c_str());
        return {"", error};
    }

    fd = f.fd;
    {
        std::lock_guard lock(mutex);
        filePath = f.path;
    }
    directory = dir;
    fileRate = rate;
    failed = false;
    nextSequence = 0;
    bytesWritten.store(0, std::memory_order_relaxed);
    stopRequested.store(false, std::memory_order_relaxed);
    try {
        writer = std::thread(&WavRecorder::writerLoop, this);
    } catch (const std::system_error& e) {
        ::close(fd);
        ::unlink(f.path.c_str());
        fd = -1;
        return {"", std::string("Could not start the recording: ") + e.what()};
    }
    // The ring is empty here: it was drained after its gate closed at the
    // last stop. Open it before the engine may push.
    ring.open();
    settings.recordingOn.store(1, std::memory_order_release);
    return {f.path, ""};
}

void WavRecorder::stopRecording() {
    if (!writer.joinable()) return;
    settings.recordingOn.store(0, std::memory_order_release);
    // After close() no block can still enter the ring, so what the writer
    // drains after seeing stopRequested is everything of this recording.
    ring.close();
    stopRequested.store(true, std::memory_order_release);
    writer.join();
    bytesWritten.store(0, std::memory_order_relaxed);
    if (const uint32_t lost = ring.dropped())
        report("The recording " + path() + " lost " + lossText(lost, fileRate) +
               " because the disk was too slow; silence stands in their place.");
}

bool WavRecorder::recording() const { return settings.recordingOn.load(std::memory_order_relaxed) == 1; }

uint32_t WavRecorder::blocksLost() const { return ring.dropped(); }

std::string WavRecorder::statusText() const {
    const uint32_t lost = blocksLost();
    if (!recording() || lost == 0) return "";
    return std::to_string(lost) + (lost == 1 ? " block lost" : " blocks lost");
}

std::string WavRecorder::takeError() {
    std::lock_guard lock(mutex);
    return std::exchange(pendingError, std::string());
}

void WavRecorder::writerLoop() {
    std::vector<uint8_t> frames(blockBytes);
    auto lastHeader = std::chrono::steady_clock::now();
    for (;;) {
        // Read before draining: once stopRequested is seen, the drain below
        // sees every block pushed before the gate closed.
        const bool stopping = stopRequested.load(std::memory_order_acquire) || failed;
        if (timing.beforeDrain) timing.beforeDrain();
        drainRing(frames.data());
        if (stopping) break;
        const auto now = std::chrono::steady_clock::now();
        if (!failed && now - lastHeader >= timing.headerUpdate) {
            lastHeader = now;
            if (!rewriteHeader()) fail("Could not update the header of " + path() + ": " + errnoText());
        }
        std::this_thread::sleep_for(timing.poll);
    }
    // Blocks lost after the last one stored end the timeline as silence.
    if (!failed && stopRequested.load(std::memory_order_acquire)) appendSilence(ring.offered() - nextSequence);
    finishFile();
}

void WavRecorder::drainRing(uint8_t* frames) {
    while (const RecordBlock* b = ring.front()) {
        const uint32_t sequence = b->sequence;
        if (!failed) packWaveFrames(b->samples, blockLength, frames);
        ring.pop();
        if (failed) continue;                    // discarded: the file has been ended
        appendSilence(sequence - nextSequence);  // the blocks the full ring dropped before this one
        append(frames);
        nextSequence = sequence + 1;
    }
}

void WavRecorder::appendSilence(uint32_t blocks) {
    if (blocks == 0) return;
    const std::vector<uint8_t> silence(blockBytes, 0);
    for (uint32_t k = 0; k < blocks && !failed; ++k) append(silence.data());
}

// One block of frames, in a new file when this one is full.
void WavRecorder::append(const uint8_t* frames) {
    if (failed) return;
    if (bytesWritten.load(std::memory_order_relaxed) > maxDataBytes - blockBytes && !continueInNewFile()) return;
    if (!appendBlock(frames)) fail("Could not write to " + path() + ": " + errnoText());
}

bool WavRecorder::appendBlock(const uint8_t* frames) {
    size_t written = 0;
    if (writeFully(fd, frames, blockBytes, written)) {
        bytesWritten.fetch_add(blockBytes, std::memory_order_relaxed);
        return true;
    }
    // Cut a partial block off, so the file ends where its data chunk does.
    const int saved = errno;
    if (written > 0) (void)::ftruncate(fd, waveHeaderBytes + off_t(bytesWritten.load(std::memory_order_relaxed)));
    errno = saved;
    return false;
}

// Completes the full file and opens the next one, named from the time now.
bool WavRecorder::continueInNewFile() {
    const std::string full = path();
    if (!rewriteHeader() || ::close(fd) != 0) {
        const std::string error = errnoText();
        fd = -1;
        fail("Could not complete " + full + " at the largest size a WAV file can hold: " + error);
        return false;
    }
    fd = -1;
    bytesWritten.store(0, std::memory_order_relaxed);
    CreatedFile f = createUniqueFile(directory, waveCaptureStem(localTimeNow()), ".wav");
    const auto header = waveHeader(0, fileRate);
    size_t written = 0;
    if (f.fd >= 0 && !writeFully(f.fd, header.data(), header.size(), written)) {
        f.error = "Could not write to " + f.path + ": " + errnoText();
        ::close(f.fd);
        ::unlink(f.path.c_str());
        f.fd = -1;
    }
    if (f.fd < 0) {
        fail(full + " reached the largest size a WAV file can hold; the recording could not go on: " + f.error);
        return false;
    }
    fd = f.fd;
    std::lock_guard lock(mutex);
    filePath = f.path;
    return true;
}

bool WavRecorder::rewriteHeader() {
    const auto header = waveHeader(bytesWritten.load(std::memory_order_relaxed), fileRate);
    return writeFullyAt(fd, header.data(), header.size(), 0);
}

// Ends the recording from the writer's side: no further block is taken, the
// window learns why, and the file is completed with what it holds.
void WavRecorder::fail(const std::string& what) {
    failed = true;
    settings.recordingOn.store(0, std::memory_order_release);
    ring.close();
    report(what);
}

// Keeps the first message until the window takes it.
void WavRecorder::report(const std::string& what) {
    std::lock_guard lock(mutex);
    if (pendingError.empty()) pendingError = what;
}

void WavRecorder::finishFile() {
    if (fd < 0) return;  // a failed continuation left no file open
    const bool headerOk = rewriteHeader();
    const std::string headerError = headerOk ? "" : errnoText();
    const bool closeOk = ::close(fd) == 0;
    fd = -1;
    if (!headerOk)
        fail("Could not complete the header of " + path() + ": " + headerError);
    else if (!closeOk)
        fail("Could not close " + path() + ": " + errnoText());
}

}  // namespace tolvek
