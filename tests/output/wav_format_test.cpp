// The file names: time-of-day stems and suffixes for taken names.
#include <gtest/gtest.h>
#include <unistd.h>

#include <tuple>

#include "capture_names.h"
#include "recording_files.h"

namespace tolvek {
namespace {

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
