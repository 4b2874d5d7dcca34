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
        const std::tm t{.tm_sec = s, .tm_min = m, .tm_hour = h};
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
    EXPECT_EQ(test::readBytes(stem + ".jpg"), std::vector<uint8_t>({'k', 'e', 'e', 'p'}));
}

}  // namespace
}  // namespace tolvek
