// The recorder with its writer thread, on real files.
#include "wav_recorder.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <memory>

#include "recording_files.h"

namespace tolvek {
namespace {

using namespace std::chrono_literals;
using testing::le32;
using testing::pushLikeEngine;
using testing::readBytes;
using testing::readSoundFile;
using testing::taggedBlock;

constexpr uint32_t blockBytes = 8192;

// Waits until `done` holds, at most a few seconds.
template <typename F>
bool waitFor(F done) {
    for (int i = 0; i < 500 && !done(); ++i) std::this_thread::sleep_for(10ms);
    return done();
}

struct RecorderTest : ::testing::Test {
    std::unique_ptr<Engine> engine = std::make_unique<Engine>();
    ProcessingSettings& settings = engine->settings;
    RecordRing& ring = engine->recordRing;
    testing::TempDir dir;
    std::unique_ptr<WavRecorder> rec;  // destroyed first

    WavRecorder& recorder(RecorderTiming timing = {}) {
        rec = std::make_unique<WavRecorder>(ring, settings, timing);
        return *rec;
    }

    void pushTags(int from, int count) {
        for (int k = from; k < from + count; ++k) pushLikeEngine(settings, ring, taggedBlock(k));
    }

    // The file is complete: its header describes exactly its bytes.
    static void expectConsistent(const std::string& path, uint32_t blocks, int rate) {
        SCOPED_TRACE(path);
        const auto bytes = readBytes(path);
        ASSERT_EQ(bytes.size(), 44 + blockBytes * blocks);
        EXPECT_EQ(le32(bytes, 4), 36 + blockBytes * blocks);
        EXPECT_EQ(le32(bytes, 40), blockBytes * blocks);
        EXPECT_EQ(le32(bytes, 24), uint32_t(rate));
        EXPECT_EQ(le32(bytes, 28), uint32_t(rate) * 4);
        const auto s = readSoundFile(path);
        ASSERT_TRUE(s.opened);
        EXPECT_EQ(s.frames, int64_t(blocks) * recordBlockLength);
        EXPECT_EQ(s.channels, 2);
        EXPECT_EQ(s.rate, rate);
    }
};

TEST_F(RecorderTest, RecordingOfNBlocks) {
    for (const uint32_t n : {0u, 1u, 5u}) {
        SCOPED_TRACE(n);
        const OutputResult r = recorder().startRecording(dir.str());
        ASSERT_TRUE(r.ok()) << r.error;
        EXPECT_EQ(get(settings.recordingOn), 1);
        EXPECT_EQ(std::filesystem::path(r.path).parent_path(), dir.path);
        pushTags(0, int(n));
        ASSERT_TRUE(waitFor([&] { return rec->waveBytesWritten() == blockBytes * n; }));
        rec->stopRecording();
        EXPECT_EQ(get(settings.recordingOn), 0);
        EXPECT_EQ(rec->waveBytesWritten(), 0u);
        expectConsistent(r.path, n, 22050);
        EXPECT_EQ(testing::blockTags(readSoundFile(r.path)), [&] {
            std::vector<int> v;
            for (int k = 0; k < int(n); ++k) v.push_back(k);
            return v;
        }());
    }
}

TEST_F(RecorderTest, EngineBlocksReachTheFileSaturated) {
    const OutputResult r = recorder().startRecording(dir.str());
    ASSERT_TRUE(r.ok()) << r.error;
    // A loud tone, so that some samples lie beyond 16 bits.
    settings.inputLevel.store(40);
    settings.agcOn.store(0);
    std::vector<float> in(2 * recordBlockLength), out(2 * recordBlockLength);
    std::vector<int32_t> expected;
    for (int b = 0; b < 4; ++b) {
        for (int i = 0; i < recordBlockLength; ++i)
            in[2 * i] = in[2 * i + 1] = 0.8f * std::sin(0.05f * float(b * recordBlockLength + i));
        engine->process(in.data(), out.data(), recordBlockLength);
        expected.insert(expected.end(), engine->waveBlock, engine->waveBlock + recordBlockLength);
    }
    rec->stopRecording();
    const auto s = readSoundFile(r.path);
    ASSERT_EQ(s.frames, int64_t(expected.size()));
    int beyond16Bits = 0;
    for (size_t i = 0; i < expected.size(); ++i) {
        const int32_t v = std::clamp<int32_t>(expected[i], -32768, 32767);
        beyond16Bits += v != expected[i];
        ASSERT_EQ(s.samples[2 * i], v) << i;
        ASSERT_EQ(s.samples[2 * i + 1], v) << i;
    }
    EXPECT_GT(beyond16Bits, 0);
}

TEST_F(RecorderTest, FileReadWhileRecordingIsValidUpToTheLastHeaderUpdate) {
    RecorderTiming fast{5ms, 100ms};
    const OutputResult r = recorder(fast).startRecording(dir.str());
    ASSERT_TRUE(r.ok()) << r.error;
    pushTags(0, 5);
    ASSERT_TRUE(waitFor([&] { return rec->waveBytesWritten() == 5 * blockBytes; }));
    std::this_thread::sleep_for(300ms);  // several header updates
    const std::string cut = dir.str() + "/cut.wav";
    std::filesystem::copy_file(r.path, cut);
    expectConsistent(cut, 5, 22050);

    // Between updates the header may lag behind the data, never run ahead.
    pushTags(5, 3);
    for (int i = 0; i < 20; ++i) {
        const auto bytes = readBytes(r.path);
        ASSERT_GE(bytes.size(), 44u);
        EXPECT_LE(44 + le32(bytes, 40), bytes.size());
        EXPECT_EQ(le32(bytes, 4), le32(bytes, 40) + 36);
        std::this_thread::sleep_for(2ms);
    }
    rec->stopRecording();
    expectConsistent(r.path, 8, 22050);
}

TEST_F(RecorderTest, HeaderLagsAtMostAboutOneSecond) {
    // Real pace at 44100 Hz: a block every 46 ms, default timing.
    settings.sampleRate.store(44100);
    const OutputResult r = recorder().startRecording(dir.str());
    ASSERT_TRUE(r.ok()) << r.error;
    for (int k = 0; k < 55; ++k) {
        pushTags(k, 1);
        std::this_thread::sleep_for(46ms);
    }
    const auto s = readSoundFile(r.path);
    ASSERT_TRUE(s.opened);
    const int64_t inFile = int64_t(rec->waveBytesWritten() / 4);
    EXPECT_GE(s.frames, inFile - 44100 - 4 * recordBlockLength);  // one second, and some slack for a busy machine
    EXPECT_LE(s.frames, inFile);
    EXPECT_GT(s.frames, 0);
    rec->stopRecording();
}

TEST_F(RecorderTest, StartWhileRecordingCompletesTheFirstFile) {
    const OutputResult first = recorder().startRecording(dir.str());
    ASSERT_TRUE(first.ok());
    pushTags(0, 2);
    const OutputResult second = rec->startRecording(dir.str());
    ASSERT_TRUE(second.ok()) << second.error;
    EXPECT_NE(first.path, second.path);
    pushTags(2, 3);
    rec->stopRecording();
    expectConsistent(first.path, 2, 22050);
    expectConsistent(second.path, 3, 22050);
    EXPECT_EQ(testing::blockTags(readSoundFile(second.path)), (std::vector<int>{2, 3, 4}));
}

TEST_F(RecorderTest, RateChangeContinuesInANewFileAtTheNewRate) {
    const OutputResult first = recorder().startRecording(dir.str());
    pushTags(0, 2);
    settings.sampleRate.store(44100);
    const OutputResult second = rec->restartAtRate(44100);
    ASSERT_TRUE(second.ok()) << second.error;
    EXPECT_EQ(rec->path(), second.path);
    pushTags(2, 3);
    rec->stopRecording();
    expectConsistent(first.path, 2, 22050);
    expectConsistent(second.path, 3, 44100);

    EXPECT_TRUE(rec->restartAtRate(11025).ok());  // idle: nothing happens
    EXPECT_EQ(get(settings.recordingOn), 0);
    EXPECT_EQ(dir.files().size(), 2u);
}

TEST_F(RecorderTest, EndingTheProgramCompletesTheFile) {
    std::string path;
    {
        WavRecorder r(ring, settings);
        path = r.startRecording(dir.str()).path;
        pushTags(0, 3);
    }
    expectConsistent(path, 3, 22050);
}

TEST_F(RecorderTest, UncreatableFileLeavesTheRecorderIdle) {
    const std::string plain = dir.str() + "/plain";
    std::ofstream(plain) << "x";
    for (const std::string& d : {dir.str() + "/missing", plain}) {
        const OutputResult r = recorder().startRecording(d);
        EXPECT_FALSE(r.ok());
        EXPECT_FALSE(r.error.empty());
        EXPECT_EQ(get(settings.recordingOn), 0);
        EXPECT_FALSE(rec->recording());
        pushTags(0, 1);
        EXPECT_EQ(ring.front(), nullptr);  // the ring's gate stays shut
    }
}

TEST_F(RecorderTest, FullRingCountsDropsAndTheHeaderHoldsOnlyWrittenBlocks) {
    RecorderTiming slow{800ms, 1000ms};  // the writer sleeps while the ring fills
    const OutputResult r = recorder(slow).startRecording(dir.str());
    ASSERT_TRUE(r.ok());
    std::this_thread::sleep_for(100ms);
    pushTags(0, 100);
    EXPECT_EQ(rec->blocksLost(), 100u - recordRingBlocks);
    EXPECT_EQ(rec->statusText(), "36 blocks lost");
    rec->stopRecording();
    EXPECT_EQ(rec->statusText(), "");
    expectConsistent(r.path, recordRingBlocks, 22050);
    const auto tags = testing::blockTags(readSoundFile(r.path));
    for (int k = 0; k < recordRingBlocks; ++k) EXPECT_EQ(tags[size_t(k)], k);

    // A new recording starts with no loss counted.
    ASSERT_TRUE(rec->startRecording(dir.str()).ok());
    EXPECT_EQ(rec->blocksLost(), 0u);
    rec->stopRecording();
}

// Disk full, emulated with the file size limit: writes beyond it fail.
struct FileSizeLimit {
    rlimit old{};
    explicit FileSizeLimit(rlim_t bytes) {
        std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &old);
        rlimit lim = old;
        lim.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &lim);
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &old); }
};

TEST_F(RecorderTest, WriteFailureEndsTheFileWhereItGot) {
    OutputResult r;
    {
        FileSizeLimit limit(44 + 3 * blockBytes + 100);  // a fourth block fits only in part
        r = recorder().startRecording(dir.str());
        ASSERT_TRUE(r.ok()) << r.error;
        pushTags(0, 6);
        ASSERT_TRUE(waitFor([&] { return !rec->recording(); }));
        EXPECT_EQ(get(settings.recordingOn), 0);
        const std::string error = rec->takeError();
        EXPECT_NE(error.find("Could not write to"), std::string::npos) << error;
        EXPECT_NE(error.find("File too large"), std::string::npos) << error;
        EXPECT_EQ(rec->takeError(), "");  // reported once
        rec->stopRecording();
    }
    expectConsistent(r.path, 3, 22050);
    // The recorder is usable again.
    const OutputResult next = rec->startRecording(dir.str());
    ASSERT_TRUE(next.ok()) << next.error;
    pushTags(0, 1);
    rec->stopRecording();
    expectConsistent(next.path, 1, 22050);
}

TEST_F(RecorderTest, HeaderThatCannotBeWrittenIsAnErrorAndLeavesNoFile) {
    FileSizeLimit limit(10);
    const OutputResult r = recorder().startRecording(dir.str());
    EXPECT_FALSE(r.ok());
    EXPECT_NE(r.error.find("Could not write to"), std::string::npos) << r.error;
    EXPECT_EQ(get(settings.recordingOn), 0);
    EXPECT_TRUE(dir.files().empty());
}

TEST_F(RecorderTest, FileEndsAtTheLargestSize) {
    rec = std::make_unique<WavRecorder>(ring, settings, RecorderTiming{}, 3 * blockBytes);
    const OutputResult r = rec->startRecording(dir.str());
    pushTags(0, 5);
    ASSERT_TRUE(waitFor([&] { return !rec->recording(); }));
    EXPECT_NE(rec->takeError().find("largest size"), std::string::npos);
    rec->stopRecording();
    expectConsistent(r.path, 3, 22050);
}

}  // namespace
}  // namespace tolvek
