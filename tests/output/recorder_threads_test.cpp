// The recorder against an engine-like producer on its own thread, with
// recordings started and stopped while blocks arrive. Run under TSan.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
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
        for (int k = 0; running.load(std::memory_order_relaxed);
             k = (k + 1) % 30000, std::this_thread::sleep_for(500us)) {
            test::pushTagged(engine->settings, engine->recordRing, k);
            produced.store(k, std::memory_order_relaxed);
        }
    });
    std::vector<std::string> paths;
    {
        WavRecorder recorder(engine->recordRing, engine->settings, RecorderTiming{2ms, 20ms, {}});
        std::mt19937 random(7);
        for (int i = 0; i < 12; ++i) {
            paths.push_back(recorder.startRecording(dir.str()).path);  // also ends the previous one
            std::this_thread::sleep_for(std::chrono::milliseconds(10 + random() % 60));
            (void)recorder.statusText();  // the window's reads while the writer runs
            (void)recorder.waveBytesWritten();
            if (i % 3 == 0) recorder.stopRecording(), std::this_thread::sleep_for(5ms);  // idle: blocks go nowhere
        }
    }
    running = false;
    producer.join();
    ASSERT_LT(produced.load(), 29000);  // the tags did not wrap
    std::vector<int> tags;              // of all files in order: rising (in order, no block twice), none torn (-1)
    for (const std::string& p : paths) {
        const auto bytes = test::readBytes(p);
        ASSERT_EQ(bytes.size(), 44 + test::le32(bytes, 40)) << p;
        const auto t = test::blockTags(test::readSound(p));
        tags.insert(tags.end(), t.begin(), t.end());
    }
    EXPECT_GT(tags.size(), 50u);
    EXPECT_EQ(std::adjacent_find(tags.begin(), tags.end(), std::greater_equal<>()), tags.end());
    EXPECT_EQ(std::count(tags.begin(), tags.end(), -1), 0);
}

}  // namespace
}  // namespace tolvek
