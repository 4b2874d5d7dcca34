// The recorder against an engine-like producer on its own thread, with
// recordings started and stopped while blocks arrive. Run under TSan.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <thread>

#include "recording_files.h"
#include "wav_recorder.h"

namespace tolvek {
namespace {

using namespace std::chrono_literals;

TEST(RecorderThreads, BlocksNeverLeakAcrossFilesOrTear) {
    auto engine = std::make_unique<Engine>();
    test::TempDir dir;
    std::atomic<bool> running{true};
    std::atomic<int> produced{0};
    std::thread producer([&] {
        for (int k = 0; running.load(std::memory_order_relaxed); k = (k + 1) % 30000) {
            test::pushTagged(engine->settings, engine->recordRing, k);
            produced.store(k, std::memory_order_relaxed);
            std::this_thread::sleep_for(500us);
        }
    });

    std::vector<std::string> paths;
    {
        WavRecorder recorder(engine->recordRing, engine->settings, RecorderTiming{2ms, 20ms, {}});
        std::mt19937 random(7);
        for (int i = 0; i < 12; ++i) {
            const OutputResult r = recorder.startRecording(dir.str());  // also ends the previous one
            ASSERT_TRUE(r.ok()) << r.error;
            paths.push_back(r.path);
            std::this_thread::sleep_for(std::chrono::milliseconds(10 + random() % 60));
            (void)recorder.statusText();  // the window's reads while the writer runs
            (void)recorder.waveBytesWritten();
            if (i % 3 == 0) {
                recorder.stopRecording();
                std::this_thread::sleep_for(5ms);  // idle: blocks arriving now go nowhere
            }
        }
    }
    running = false;
    producer.join();
    ASSERT_LT(produced.load(), 29000);  // the tags did not wrap

    int lastTag = -1, blocks = 0;
    for (const std::string& p : paths) {
        SCOPED_TRACE(p);
        const auto bytes = test::readBytes(p);
        ASSERT_EQ(bytes.size(), 44 + test::le32(bytes, 40));
        for (int t : test::blockTags(test::readSound(p))) {
            ASSERT_GT(t, lastTag);  // in order, no block twice, none torn (-1)
            lastTag = t;
            ++blocks;
        }
    }
    EXPECT_GT(blocks, 50);
}

}  // namespace
}  // namespace tolvek
