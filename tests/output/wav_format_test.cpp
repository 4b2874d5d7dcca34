// The header bytes, the frame packing and the file names.
#include <gtest/gtest.h>
#include <unistd.h>

#include <tuple>

#include "capture_names.h"
#include "recording_files.h"
#include "wav_header.h"

namespace tolvek {
namespace {

using testing::le16;
using testing::le32;

TEST(WavHeader, FieldsAtTheirOffsets) {
    struct Case {
        uint32_t blocks;
        int32_t rate;
    };
    for (const Case c : {Case{0, 22050}, Case{7, 44100}, Case{3, 5512}, Case{524287, 11025}}) {
        SCOPED_TRACE(c.blocks);
        const uint32_t data = 8192 * c.blocks;
        const auto a = waveHeader(data, c.rate);
        const std::vector<uint8_t> h(a.begin(), a.end());
        for (const auto& [at, tag] : {std::pair<size_t, std::string>{0, "RIFF"}, {8, "WAVEfmt "}, {36, "data"}})
            EXPECT_EQ(std::string(h.begin() + long(at), h.begin() + long(at + tag.size())), tag);
        const std::pair<size_t, uint32_t> fields32[] = {
            {4, 36 + data}, {16, 16}, {24, uint32_t(c.rate)}, {28, uint32_t(c.rate) * 4}, {40, data}};
        for (const auto& [at, want] : fields32) EXPECT_EQ(le32(h, at), want) << "offset " << at;
        const std::pair<size_t, uint16_t> fields16[] = {{20, 1}, {22, 2}, {32, 4}, {34, 16}};
        for (const auto& [at, want] : fields16) EXPECT_EQ(le16(h, at), want) << "offset " << at;
    }
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
    testing::TempDir dir;
    const std::string stem = dir.str() + "/Capture 09.05.03 h";
    std::ofstream(stem + ".jpg") << "keep";
    for (int i = 2; i <= 4; ++i) {
        CreatedFile f = createUniqueFile(dir.str(), "Capture 09.05.03 h", ".jpg");
        ASSERT_GE(f.fd, 0) << f.error;
        ::close(f.fd);
        EXPECT_EQ(f.path, stem + " (" + std::to_string(i) + ").jpg");
    }
    const auto kept = testing::readBytes(stem + ".jpg");
    EXPECT_EQ(std::string(kept.begin(), kept.end()), "keep");
}

}  // namespace
}  // namespace tolvek
