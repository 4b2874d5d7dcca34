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

struct RecorderTest : ::testing::Test {
    std::unique_ptr<Engine> engine = std::make_unique<Engine>();
    ProcessingSettings& settings = engine->settings;
    test::TempDir dir;
    std::unique_ptr<WavRecorder> rec;  // destroyed first

    WavRecorder& recorder(uint32_t maxDataBytes = waveMaxDataBytes) {
        rec = std::make_unique<WavRecorder>(engine->recordRing, settings, RecorderTiming{}, maxDataBytes);
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
    bool waitForBytes(uint32_t bytes) {
        return waitFor([&] { return rec->waveBytesWritten() == bytes; });
    }
};

TEST_F(RecorderTest, RecordingOfNBlocks) {
    for (const int n : {0, 1, 5}) {
        SCOPED_TRACE(n);
        const OutputResult r = start();
        EXPECT_EQ(get(settings.recordingOn), 1);
        EXPECT_EQ(std::filesystem::path(r.path).parent_path(), dir.path);
        pushTags(0, n);
        ASSERT_TRUE(waitForBytes(blockBytes * uint32_t(n)));
        rec->stopRecording();
        EXPECT_EQ(get(settings.recordingOn), 0);
        EXPECT_EQ(rec->waveBytesWritten(), 0u);
        expectWaveFile(r.path, 0, n);
    }
}

// A ramp across full scale and the extremes: each sample in its place,
// saturated, on both channels.
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
}

// The largest file: the RIFF size still fits its 32 bits.
TEST(WavHeader, LargestDataSize) {
    const auto h = waveHeader(0xFFFFE000u, 11025);
    EXPECT_EQ(le32({h.begin(), h.end()}, 4), 0xFFFFE000u + 36);
}

TEST_F(RecorderTest, FileReadWhileRecordingIsValidAfterTheHeaderUpdate) {
    const OutputResult r = start();
    pushTags(0, 5);
    ASSERT_TRUE(waitForBytes(5 * blockBytes));
    std::this_thread::sleep_for(1200ms);  // the header is rewritten about once a second
    const std::string cut = dir.str() + "/cut.wav";
    std::filesystem::copy_file(r.path, cut);
    expectWaveFile(cut, 0, 5);

    // Between updates the header may lag behind the data, never run ahead.
    pushTags(5, 3);
    for (int i = 0; i < 20; ++i, std::this_thread::sleep_for(2ms)) {
        const auto bytes = readBytes(r.path);
        ASSERT_GE(bytes.size(), 44u);
        EXPECT_LE(44 + le32(bytes, 40), bytes.size());
        EXPECT_EQ(le32(bytes, 4), le32(bytes, 40) + 36);
    }
    rec->stopRecording();
    expectWaveFile(r.path, 0, 8);
}

TEST_F(RecorderTest, StartWhileRecordingAndEndingTheProgramCompleteTheFiles) {
    const OutputResult first = start();
    pushTags(0, 2);
    const OutputResult second = start();
    EXPECT_NE(first.path, second.path);
    pushTags(2, 3);
    rec.reset();  // as at the program's end, without a stop
    expectWaveFile(first.path, 0, 2);
    expectWaveFile(second.path, 2, 3);
}

// Every rate the program offers, each in a file of its own.
TEST_F(RecorderTest, RateChangeContinuesInANewFileAtTheNewRate) {
    const int rates[] = {22050, 44100, 11025, 5512};
    std::vector<std::string> files{start().path};
    for (int i = 0; i < 4; pushTags(2 * i++, 2)) {
        if (i == 0) continue;
        settings.sampleRate.store(rates[i]);
        const OutputResult next = rec->restartAtRate(rates[i]);
        ASSERT_TRUE(next.ok()) << next.error;
        files.push_back(next.path);
    }
    rec->stopRecording();
    for (int i = 0; i < 4; ++i) expectWaveFile(files[size_t(i)], 2 * i, 2, rates[i]);

    EXPECT_TRUE(rec->restartAtRate(22050).ok());  // idle: nothing happens
    EXPECT_EQ(get(settings.recordingOn), 0);
    EXPECT_EQ(dir.fileCount(), 4u);
}

TEST_F(RecorderTest, UncreatableFileLeavesTheRecorderIdle) {
    const std::string plain = dir.str() + "/plain";
    std::ofstream(plain) << "x";
    for (const std::string& d : {dir.str() + "/missing", plain}) {
        const OutputResult r = recorder().startRecording(d);
        EXPECT_NE(r.error.find("Could not create"), std::string::npos) << r.error;
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
        RecorderTiming timing;
        timing.beforeDrain = [&] { waitFor([&] { return !stalled.load(); }); };
        rec = std::make_unique<WavRecorder>(engine->recordRing, settings, timing);
        const OutputResult r = start();
        pushTags(1, recordRingBlocks + lost);
        EXPECT_EQ(rec->statusText(), std::to_string(lost) + " blocks lost");
        stalled = false;
        ASSERT_TRUE(waitForBytes(blockBytes * recordRingBlocks));
        pushTags(1 + recordRingBlocks + lost, late);
        EXPECT_EQ(rec->takeError(), "");  // not while recording
        rec->stopRecording();
        EXPECT_NE(rec->takeError().find("lost 100 blocks (9.3 s)"), std::string::npos);

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
        EXPECT_NE(recorder().startRecording(dir.str()).error.find("Could not write to"), std::string::npos);
        EXPECT_EQ(get(settings.recordingOn), 0);
        EXPECT_EQ(dir.fileCount(), 0u);
    }
    {
        FileSizeLimit limit(44 + 3 * blockBytes + 100);  // a fourth block fits only in part
        r = start();
        pushTags(0, 6);
        ASSERT_TRUE(waitFor([&] { return !rec->recording(); }));
        EXPECT_EQ(get(settings.recordingOn), 0);
        const std::string error = rec->takeError();
        for (const char* part : {"Could not write to", "File too large"})
            EXPECT_NE(error.find(part), std::string::npos) << error;
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
