// The header of the largest file, the frame packing and the file names.
#include <gtest/gtest.h>
#include <unistd.h>

#include <tuple>

#include "capture_names.h"
#include "recording_files.h"
#include "wav_header.h"

namespace tolvek {
namespace {

using test::le16;

// The largest file: the RIFF size still fits its 32 bits (the other fields
// are checked in every file the recorder tests write).
TEST(WavHeader, LargestDataSize) {
    const auto h = waveHeader(0xFFFFE000u, 11025);
    EXPECT_EQ(test::le32({h.begin(), h.end()}, 4), 0xFFFFE000u + 36);
}

TEST(WavFrames, BothChannelsCarryTheSaturatedSample) {
    const int32_t in[] = {0, 1, -1, 32767, -32768, 32768, -32769, 100000, INT32_MIN, INT32_MAX, 12345};
    const int16_t want[] = {0, 1, -1, 32767, -32768, 32767, -32768, 32767, -32768, 32767, 12345};
    constexpr size_t n = std::size(in);
    std::vector<uint8_t> out(n * 4, 0xAA);
    packWaveFrames(in, n, out.data());
    for (size_t i = 0; i < n; ++i) {
        EXPECT_EQ(int16_t(le16(out, 4 * i)), want[i]) << in[i];
        EXPECT_EQ(int16_t(le16(out, 4 * i + 2)), want[i]) << in[i];
    }
}

TEST(CaptureNames, TwoDigitFieldsFromTheTimeOfDay) {
    for (const auto& [h, m, s, text] : {std::tuple{9, 5, 3, "09.05.03 h"}, {23, 59, 0, "23.59.00 h"}}) {
        std::tm t{};
        t.tm_hour = h, t.tm_min = m, t.tm_sec = s;
        EXPECT_EQ(waveCaptureStem(t), std::string("Wave Capture ") + text);
        EXPECT_EQ(pictureStem(t), std::string("Capture ") + text);
    }
}

TEST(CaptureNames, TakenNamesGetASuffixAndAreNeverReplaced) {
    test::TempDir dir;
    const std::string stem = dir.str() + "/Capture 09.05.03 h";
    std::ofstream(stem + ".jpg") << "keep";
    for (int i = 2; i <= 4; ++i) {
        CreatedFile f = createUniqueFile(dir.str(), "Capture 09.05.03 h", ".jpg");
        ASSERT_GE(f.fd, 0) << f.error;
        ::close(f.fd);
        EXPECT_EQ(f.path, stem + " (" + std::to_string(i) + ").jpg");
    }
    const auto kept = test::readBytes(stem + ".jpg");
    EXPECT_EQ(std::string(kept.begin(), kept.end()), "keep");
}

}  // namespace
}  // namespace tolvek
