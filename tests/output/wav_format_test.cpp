// The header bytes, the frame packing, the file names and their creation.
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>

#include "capture_names.h"
#include "recording_files.h"
#include "wav_header.h"

namespace tolvek {
namespace {

using testing::le16;
using testing::le32;

TEST(WavHeader, FieldsAtTheirOffsets) {
    struct Case { uint32_t blocks; int32_t rate; };
    for (const Case c : {Case{0, 22050}, Case{1, 22050}, Case{7, 44100}, Case{3, 5512}, Case{524287, 11025}}) {
        SCOPED_TRACE(c.blocks);
        const uint32_t data = 8192 * c.blocks;
        const auto a = waveHeader(data, c.rate);
        const std::vector<uint8_t> h(a.begin(), a.end());
        EXPECT_EQ(std::string(h.begin(), h.begin() + 4), "RIFF");
        EXPECT_EQ(le32(h, 4), 36 + data);
        EXPECT_EQ(std::string(h.begin() + 8, h.begin() + 16), "WAVEfmt ");
        EXPECT_EQ(le32(h, 16), 16u);
        EXPECT_EQ(le16(h, 20), 1);
        EXPECT_EQ(le16(h, 22), 2);
        EXPECT_EQ(le32(h, 24), uint32_t(c.rate));
        EXPECT_EQ(le32(h, 28), uint32_t(c.rate) * 4);
        EXPECT_EQ(le16(h, 32), 4);
        EXPECT_EQ(le16(h, 34), 16);
        EXPECT_EQ(std::string(h.begin() + 36, h.begin() + 40), "data");
        EXPECT_EQ(le32(h, 40), data);
    }
}

TEST(WavFrames, BothChannelsCarryTheSaturatedSample) {
    const int32_t in[] = {0, 1, -1, 32767, -32768, 32768, -32769, 100000, INT32_MIN, INT32_MAX, 12345};
    const int16_t want[] = {0, 1, -1, 32767, -32768, 32767, -32768, 32767, -32768, 32767, 12345};
    constexpr size_t n = std::size(in);
    std::vector<uint8_t> out(n * 4, 0xAA);
    packWaveFrames(in, n, out.data());
    for (size_t i = 0; i < n; ++i) {
        SCOPED_TRACE(in[i]);
        EXPECT_EQ(int16_t(le16(out, 4 * i)), want[i]);
        EXPECT_EQ(int16_t(le16(out, 4 * i + 2)), want[i]);
    }
}

TEST(CaptureNames, TwoDigitFieldsFromTheTimeOfDay) {
    struct Case { int h, m, s; const char* wave; const char* picture; };
    const Case cases[] = {
        {9, 5, 3, "Wave Capture 09.05.03 h", "Capture 09.05.03 h"},
        {14, 5, 9, "Wave Capture 14.05.09 h", "Capture 14.05.09 h"},
        {0, 0, 0, "Wave Capture 00.00.00 h", "Capture 00.00.00 h"},
        {23, 59, 59, "Wave Capture 23.59.59 h", "Capture 23.59.59 h"},
    };
    for (const Case& c : cases) {
        std::tm t{};
        t.tm_hour = c.h, t.tm_min = c.m, t.tm_sec = c.s;
        EXPECT_EQ(waveCaptureStem(t), c.wave);
        EXPECT_EQ(pictureStem(t), c.picture);
    }
}

TEST(CaptureNames, TakenNamesGetASuffixAndAreNeverReplaced) {
    testing::TempDir dir;
    const std::string first = dir.str() + "/Capture 09.05.03 h.jpg";
    std::ofstream(first) << "keep";

    std::vector<std::string> made;
    for (int i = 0; i < 3; ++i) {
        CreatedFile f = createUniqueFile(dir.str(), "Capture 09.05.03 h", ".jpg");
        ASSERT_GE(f.fd, 0) << f.error;
        ::close(f.fd);
        made.push_back(f.path);
    }
    EXPECT_EQ(made[0], dir.str() + "/Capture 09.05.03 h (2).jpg");
    EXPECT_EQ(made[1], dir.str() + "/Capture 09.05.03 h (3).jpg");
    EXPECT_EQ(made[2], dir.str() + "/Capture 09.05.03 h (4).jpg");
    const auto kept = testing::readBytes(first);
    EXPECT_EQ(std::string(kept.begin(), kept.end()), "keep");
}

TEST(CaptureNames, UncreatableFileIsAnError) {
    testing::TempDir dir;
    const std::string notADir = dir.str() + "/plain";
    std::ofstream(notADir) << "x";
    for (const std::string& d : {dir.str() + "/missing", notADir}) {
        CreatedFile f = createUniqueFile(d, "Capture 09.05.03 h", ".png");
        EXPECT_LT(f.fd, 0);
        EXPECT_NE(f.error.find("Could not create"), std::string::npos) << f.error;
    }
}

}  // namespace
}  // namespace tolvek
