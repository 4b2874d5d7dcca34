// The recorder on real files, its writer thread against blocks pushed as the
// audio callback pushes them (every case has both threads: the TSan pass runs
// them all). Each block's samples carry a tag, so its place shows in the file.
#include "wav_recorder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <memory>
#include <ranges>

#include "file_size_limit.h"
#include "sound_file.h"
#include "temp_dir.h"

namespace tolvek {
namespace {

using namespace std::chrono_literals;
using namespace test;

constexpr uint32_t blockBytes = 8192;

// Waits until `done` holds, at most a few seconds.
bool waitFor(const std::function<bool()>& done) {
    for (int i = 0; i < 500 && !done(); ++i) std::this_thread::sleep_for(10ms);
    return done();
}
bool has(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

// The file's first `limit` bytes: a recording still growing is read from its header on.
std::vector<uint8_t> readBytes(const std::string& path, size_t limit = SIZE_MAX) {
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> b;
    for (int c; b.size() < limit && (c = in.get()) != EOF;) b.push_back(uint8_t(c));
    return b;
}
// The little-endian field of `n` bytes at `at`.
uint32_t field(const std::vector<uint8_t>& b, size_t at, int n = 4) {
    uint32_t v = 0;
    for (int i = n - 1; i >= 0; --i) v = v << 8 | b[at + size_t(i)];
    return v;
}

// The tags of a file's blocks, or -1 for a block whose frames disagree
// (a torn block, or the channels differ).
std::vector<int> blockTags(const std::string& path) {
    const Sound s = readSound(path);
    std::vector<int> tags;
    for (auto b = s.samples.begin(); s.samples.end() - b >= 2 * blockLength; b += 2 * blockLength)
        tags.push_back(
            std::all_of(b, b + 2 * blockLength, [&](float v) { return v == *b; }) ? int(std::lround(*b * 32768)) : -1);
    return tags;
}
std::vector<int> tagRange(int first, int count) {
    const auto tags = std::views::iota(first, first + count);
    return {tags.begin(), tags.end()};
}

// A complete file: every header field describes exactly its bytes (16-bit
// stereo PCM at `rate`), and it holds blocks with the tags `tags`.
void expectWaveFile(const std::string& path, const std::vector<int>& tags, int rate = 22050) {
    SCOPED_TRACE(path);
    const uint32_t data = blockBytes * uint32_t(tags.size()), r = uint32_t(rate);
    const auto h = readBytes(path);
    ASSERT_EQ(h.size(), 44 + data);
    const auto text = [&](long at, long n) { return std::string(h.begin() + at, h.begin() + at + n); };
    EXPECT_EQ(text(0, 4) + text(8, 8) + text(36, 4), "RIFFWAVEfmt data");
    const std::tuple<size_t, uint32_t, int> fields[] = {{4, 36 + data, 4}, {16, 16, 4}, {20, 1, 2},
                                                        {22, 2, 2},        {24, r, 4},  {28, r * 4, 4},
                                                        {32, 4, 2},        {34, 16, 2}, {40, data, 4}};
    for (const auto& [at, want, n] : fields) EXPECT_EQ(field(h, at, n), want) << "offset " << at;
    EXPECT_EQ(blockTags(path), tags);
}

struct RecorderTest : ::testing::Test {
    std::unique_ptr<Engine> engine = std::make_unique<Engine>();
    ProcessingSettings& settings = engine->settings;
    TempDir dir;
    std::unique_ptr<WavRecorder> rec;  // destroyed first

    WavRecorder& recorder(uint32_t maxDataBytes = waveMaxDataBytes, RecorderTiming timing = {}) {
        rec = std::make_unique<WavRecorder>(engine->recordRing, settings, timing, maxDataBytes);
        return *rec;
    }
    OutputResult start() {
        const OutputResult r = (rec ? *rec : recorder()).startRecording(dir.path);
        EXPECT_TRUE(r.ok()) << r.error;
        return r;
    }
    // The engine's recording step for blocks whose every sample is their tag.
    void pushTags(int from, int count) {
        RecordBlock b;
        for (int k = from; k < from + count; ++k) {
            std::fill(std::begin(b.samples), std::end(b.samples), k);
            if (settings.recordingOn.load(std::memory_order_acquire) == 1) engine->recordRing.push(b.samples);
        }
    }
};

// Every rate the program offers, each in a file of its own holding from no
// block to four; a rate change, a start while recording and the program's
// end (no stop) each complete the file. At the largest size (four blocks
// here) a file is completed and the recording goes on in a new one at its
// rate, without a message and without losing a block.
TEST_F(RecorderTest, EveryRateInAFileOfItsOwn) {
    EXPECT_TRUE(recorder(4 * blockBytes).restartAtRate(22050).ok());  // idle: nothing happens
    EXPECT_EQ(get(settings.recordingOn) + dir.fileCount(), 0u);
    const int rates[] = {22050, 44100, 11025, 5512, 5512};
    std::vector<std::string> files;
    for (int i = 0; i < 5; ++i) {
        settings.sampleRate.store(rates[i]);
        files.push_back(i == 0 || i == 4 ? start().path : rec->restartAtRate(rates[i]).path);
        pushTags(i * (i - 1) / 2, i);
        ASSERT_TRUE(waitFor([&] { return rec->waveBytesWritten() == blockBytes * uint32_t(i); }));
    }
    pushTags(10, 1);  // beyond the largest size
    ASSERT_TRUE(waitFor([&] { return rec->path() != files[4] && rec->waveBytesWritten() == blockBytes; }));
    const std::string continued = rec->path();
    EXPECT_PRED2(has, continued, "/Wave Capture ");
    EXPECT_EQ(rec->takeError(), "");
    rec.reset();
    for (int i = 0; i < 5; ++i) expectWaveFile(files[size_t(i)], tagRange(i * (i - 1) / 2, i), rates[i]);
    expectWaveFile(continued, {10}, 5512);
    EXPECT_EQ(dir.fileCount(), 6u);
}

// A ramp across full scale and the extremes: each sample in its place,
// saturated, on both channels. The largest header's RIFF size fits 32 bits.
TEST_F(RecorderTest, BlocksReachTheFileSaturatedOnBothChannels) {
    const OutputResult r = start();
    RecordBlock b;
    for (int i = 0; i < blockLength; ++i) b.samples[i] = (i - blockLength / 2) * 40;  // ±40960
    const int32_t extremes[] = {32768, -32769, 100000, INT32_MIN, INT32_MAX, 32767, -32768, 1, -1};
    std::copy(std::begin(extremes), std::end(extremes), b.samples);
    engine->recordRing.push(b.samples);
    rec->stopRecording();
    const auto s = readSound(r.path);
    ASSERT_EQ(s.frames(), blockLength);
    for (int i = 0; i < blockLength; ++i)
        for (int c : {0, 1}) ASSERT_EQ(s.at(i, c) * 32768, std::clamp(b.samples[i], -32768, 32767)) << i;
    const auto h = waveHeader(0xFFFFE000u, 11025);
    EXPECT_EQ(field({h.begin(), h.end()}, 4), 0xFFFFE000u + 36);
}

// A writer stalled longer than the ring holds: the file still lasts as long
// as the recording did, silence in place of the lost blocks, wherever they
// fall; the loss shows while recording and is reported once it ends.
TEST_F(RecorderTest, StalledWriterKeepsTheTimelineAndReportsTheLoss) {
    constexpr int lost = 100;
    for (const int late : {5, 0}) {  // blocks stored after the loss, or none
        SCOPED_TRACE(late);
        std::atomic<bool> stalled{true};
        recorder(waveMaxDataBytes, {.beforeDrain = [&] { waitFor([&] { return !stalled.load(); }); }});
        const OutputResult r = start();
        pushTags(1, recordRingBlocks + lost);
        EXPECT_EQ(rec->statusText(), std::to_string(lost) + " blocks lost");
        stalled = false;
        ASSERT_TRUE(waitFor([&] { return rec->waveBytesWritten() == blockBytes * recordRingBlocks; }));
        pushTags(1 + recordRingBlocks + lost, late);
        EXPECT_EQ(rec->takeError(), "");  // not while recording
        rec->stopRecording();
        EXPECT_PRED2(has, rec->takeError(), "lost 100 blocks (9.3 s)");
        std::vector<int> tags = tagRange(1, recordRingBlocks + lost + late);
        std::fill_n(tags.begin() + recordRingBlocks, lost, 0);
        expectWaveFile(r.path, tags);
    }
}

// A missing folder, or no room for even the header: no file, no recording,
// the ring's gate shut. A write failure later ends the file with the whole
// blocks that fitted, and is reported once.
TEST_F(RecorderTest, MissingFolderAndFullDisk) {
    EXPECT_PRED2(has, recorder().startRecording(dir.file("missing")).error, "Could not create");
    {
        FileSizeLimit noRoom(10);
        EXPECT_PRED2(has, recorder().startRecording(dir.path).error, "Could not write to");
    }
    pushTags(0, 1);
    EXPECT_EQ(engine->recordRing.front(), nullptr);
    EXPECT_EQ(get(settings.recordingOn) + dir.fileCount(), 0u);
    FileSizeLimit limit(44 + 3 * blockBytes + 100);  // a fourth block fits only in part
    const OutputResult r = start();
    pushTags(0, 6);
    ASSERT_TRUE(waitFor([&] { return !rec->recording(); }));
    EXPECT_EQ(get(settings.recordingOn), 0);
    EXPECT_EQ(rec->takeError(), "Could not write to " + r.path + ": File too large");
    EXPECT_EQ(rec->takeError(), "");  // reported once
    rec->stopRecording();
    expectWaveFile(r.path, tagRange(0, 3));
}

// A producer on its own thread while recordings start and stop at odd times:
// no block goes to two files, none is torn, the order holds. Read while the
// writer writes, a header may lag behind the data, never run ahead; a stop
// shuts the ring's gate.
TEST_F(RecorderTest, BlocksNeverLeakAcrossFilesOrTear) {
    std::atomic<bool> running{true};
    std::thread producer([&] {  // tags up to 32767 fit the file's samples
        for (int k = 0; k < 32767 && running.load(std::memory_order_relaxed); ++k, std::this_thread::sleep_for(500us))
            pushTags(k, 1);
    });
    std::vector<std::string> paths;
    recorder(waveMaxDataBytes, RecorderTiming{2ms, 20ms, {}});
    for (int i = 0; i < 12; ++i) {
        paths.push_back(start().path);                                                  // also ends the previous one
        for (int k = 0; k < 10 + i * 37 % 60; ++k, std::this_thread::sleep_for(1ms)) {  // 10 to 69 ms, mixed
            const auto head = readBytes(paths.back(), 44);  // then the size: the header may not run ahead of it
            ASSERT_EQ(head.size(), 44u);
            EXPECT_LE(44 + field(head, 40), std::filesystem::file_size(paths.back()));
            EXPECT_EQ(field(head, 4), field(head, 40) + 36);
        }
        if (i % 3 == 0) {  // idle: blocks go nowhere
            rec->stopRecording();
            EXPECT_EQ(get(settings.recordingOn) + rec->waveBytesWritten(), 0u);
            std::this_thread::sleep_for(5ms);
        }
    }
    rec.reset();
    running = false;
    producer.join();
    std::vector<int> tags;  // of all files in order: rising, none torn (-1)
    for (const std::string& p : paths) {
        const auto t = blockTags(p);
        expectWaveFile(p, t);
        tags.insert(tags.end(), t.begin(), t.end());
    }
    EXPECT_GT(tags.size(), 50u);
    EXPECT_EQ(std::adjacent_find(tags.begin(), tags.end(), std::greater_equal<>()), tags.end());
    EXPECT_EQ(std::count(tags.begin(), tags.end(), -1), 0);
}

}  // namespace
}  // namespace tolvek
