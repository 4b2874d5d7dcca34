// The recorder with its writer thread, on real files.
#include "wav_recorder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>

#include "file_size_limit.h"
#include "recording_files.h"
#include "wav_header.h"

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
        const OutputResult r = (rec ? *rec : recorder()).startRecording(dir.str());
        EXPECT_TRUE(r.ok()) << r.error;
        return r;
    }
    void pushTags(int from, int count) {
        for (int k = from; k < from + count; ++k) pushTagged(settings, engine->recordRing, k);
    }
};

TEST_F(RecorderTest, RecordingOfNBlocks) {
    for (const int n : {0, 1, 5}) {
        SCOPED_TRACE(n);
        const OutputResult r = start();
        EXPECT_EQ(get(settings.recordingOn), 1);
        EXPECT_EQ(std::filesystem::path(r.path).parent_path(), dir.path);
        pushTags(0, n);
        ASSERT_TRUE(waitFor([&] { return rec->waveBytesWritten() == blockBytes * uint32_t(n); }));
        rec->stopRecording();
        EXPECT_EQ(get(settings.recordingOn) + rec->waveBytesWritten(), 0u);
        expectWaveFile(r.path, 0, n);
    }
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
    EXPECT_EQ(le32({h.begin(), h.end()}, 4), 0xFFFFE000u + 36);
}

TEST_F(RecorderTest, FileReadWhileRecordingIsValidAfterTheHeaderUpdate) {
    const OutputResult r = start();
    pushTags(0, 5);
    ASSERT_TRUE(waitFor([&] { return rec->waveBytesWritten() == 5 * blockBytes; }));
    std::this_thread::sleep_for(1200ms);  // the header is rewritten about once a second
    std::filesystem::copy_file(r.path, dir.file("cut.wav"));
    expectWaveFile(dir.file("cut.wav"), 0, 5);
    pushTags(5, 3);  // between updates the header may lag behind the data, never run ahead
    for (int i = 0; i < 20; ++i, std::this_thread::sleep_for(2ms)) {
        const auto bytes = readBytes(r.path);
        ASSERT_GE(bytes.size(), 44u);
        EXPECT_LE(44 + le32(bytes, 40), bytes.size());
        EXPECT_EQ(le32(bytes, 4), le32(bytes, 40) + 36);
    }
    rec->stopRecording();
    expectWaveFile(r.path, 0, 8);
}

// Every rate the program offers, each in a file of its own; a start while
// recording and the program's end complete the files too.
TEST_F(RecorderTest, RateChangeAndStartWhileRecordingContinueInANewFile) {
    EXPECT_TRUE(recorder().restartAtRate(22050).ok());  // idle: nothing happens
    EXPECT_EQ(get(settings.recordingOn) + dir.fileCount(), 0u);
    const int rates[] = {22050, 44100, 11025, 5512, 5512};
    std::vector<std::string> files{start().path};
    for (int i = 1; i < 5; ++i) {
        pushTags(2 * i - 2, 2);
        settings.sampleRate.store(rates[i]);
        files.push_back(i < 4 ? rec->restartAtRate(rates[i]).path : start().path);
    }
    pushTags(8, 2);
    rec.reset();  // as at the program's end, without a stop
    for (int i = 0; i < 5; ++i) expectWaveFile(files[size_t(i)], 2 * i, 2, rates[i]);
    EXPECT_EQ(dir.fileCount(), 5u);
}

TEST_F(RecorderTest, UncreatableFileLeavesTheRecorderIdle) {
    std::ofstream(dir.file("plain")) << "x";
    for (const std::string& d : {dir.file("missing"), dir.file("plain")}) {
        const OutputResult r = recorder().startRecording(d);
        EXPECT_PRED2(has, r.error, "Could not create");
        EXPECT_EQ(get(settings.recordingOn), 0);
        pushTags(0, 1);
        EXPECT_EQ(engine->recordRing.front(), nullptr);  // the ring's gate stays shut
    }
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
        std::vector<int> tags;
        for (int k = 1; k <= recordRingBlocks + lost + late; ++k)
            tags.push_back(k > recordRingBlocks && k <= recordRingBlocks + lost ? 0 : k);
        const auto bytes = readBytes(r.path);
        ASSERT_EQ(bytes.size(), 44 + blockBytes * tags.size());
        EXPECT_EQ(le32(bytes, 40), blockBytes * tags.size());
        EXPECT_EQ(blockTags(readSound(r.path)), tags);
    }
}

TEST_F(RecorderTest, WriteFailureEndsTheFileWhereItGot) {
    OutputResult r;
    {
        FileSizeLimit noRoom(10);  // not even the header fits: no file at all
        EXPECT_PRED2(has, recorder().startRecording(dir.str()).error, "Could not write to");
        EXPECT_EQ(get(settings.recordingOn) + dir.fileCount(), 0u);
    }
    {
        FileSizeLimit limit(44 + 3 * blockBytes + 100);  // a fourth block fits only in part
        r = start();
        pushTags(0, 6);
        ASSERT_TRUE(waitFor([&] { return !rec->recording(); }));
        EXPECT_EQ(get(settings.recordingOn), 0);
        const std::string error = rec->takeError();
        EXPECT_PRED2(has, error, "Could not write to");
        EXPECT_PRED2(has, error, "File too large");
        EXPECT_EQ(rec->takeError(), "");  // reported once
        rec->stopRecording();
    }
    expectWaveFile(r.path, 0, 3);
    const OutputResult next = start();  // usable again
    pushTags(0, 1);
    rec->stopRecording();
    expectWaveFile(next.path, 0, 1);
}

// At the largest size a file is completed and the recording goes on in a
// new one, without a message and without losing a block between them.
TEST_F(RecorderTest, RecordingContinuesInANewFileAtTheLargestSize) {
    recorder(3 * blockBytes);
    const OutputResult r = start();
    pushTags(0, 8);
    ASSERT_TRUE(waitFor([&] { return rec->path() != r.path; }));
    EXPECT_TRUE(rec->recording());
    rec->stopRecording();
    EXPECT_EQ(rec->takeError(), "");
    std::map<int, std::string> byFirstTag;  // the files in recording order
    for (const auto& f : std::filesystem::directory_iterator(dir.path))
        byFirstTag[blockTags(readSound(f.path())).at(0)] = f.path();
    ASSERT_EQ(byFirstTag.size(), 3u);
    EXPECT_EQ(byFirstTag.at(0), r.path);
    for (int first : {0, 3, 6}) expectWaveFile(byFirstTag.at(first), first, first < 6 ? 3 : 2);
}

}  // namespace
}  // namespace tolvek
