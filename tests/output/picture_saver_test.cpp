// Pictures in each format decoding back to the picture that was saved, under
// their time-of-day names (the names' two-digit fields and a taken name's
// " (2)" are checked with the chart's level log, which shares them).
#include "picture_saver.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QFile>
#include <QPainter>
#include <regex>

#include "temp_dir.h"

namespace tolvek {
namespace {

const std::pair<QRect, QColor> patches[] = {
    {{10, 10, 60, 50}, Qt::red},     {{80, 10, 60, 50}, Qt::green},           {{150, 10, 60, 50}, Qt::blue},
    {{220, 10, 60, 50}, Qt::white},  {{10, 80, 60, 50}, QColor(0, 160, 255)}, {{80, 80, 60, 50}, QColor(128, 128, 128)},
    {{300, 195, 10, 10}, Qt::black}, {{150, 80, 60, 50}, QColor(96, 96, 96)},  // the graph's grid grey
};

QImage testPicture(bool manyColours = false) {
    QImage image(317, 211, QImage::Format_RGB32);  // odd sizes on purpose
    image.fill(Qt::black);
    for (const auto& [rect, colour] : patches) QPainter(&image).fillRect(rect, colour);
    for (int x = 0; manyColours && x < 300; ++x) image.setPixel(x, 205, qRgb(x % 256, x / 256 * 100, 7));
    return image;
}

// BMP, PNG and GIF of few colours are lossless; JPEG at quality 85 is close;
// a GIF of more than 256 colours keeps greys grey and near, colours close.
// A picture that cannot be saved leaves no file.
TEST(Pictures, EachFormatDecodesBackAndBadOnesLeaveNoFile) {
    const std::tuple<int, const char*, bool, int, int> cases[] = {
        {captureBmp, "bmp", false, 0, 0}, {captureJpeg, "jpg", false, 24, 24}, {capturePng, "png", false, 0, 0},
        {captureGif, "gif", false, 0, 0}, {captureGif, "gif", true, 4, 26},
    };
    test::TempDir dir;
    for (const auto& [format, ext, manyColours, greyTolerance, colourTolerance] : cases) {
        SCOPED_TRACE(ext);
        const QImage picture = testPicture(manyColours);
        const OutputResult r = savePicture(picture, format, dir.path);
        ASSERT_TRUE(r.ok()) << r.error;
        EXPECT_TRUE(
            std::regex_match(r.path, std::regex(R"(.*/Capture \d\d\.\d\d\.\d\d h( \(\d+\))?\.)" + std::string(ext))))
            << r.path;
        const QImage back(QString::fromStdString(r.path));
        ASSERT_EQ(back.size(), picture.size());
        for (const auto& [rect, colour] : patches) {
            const QRgb c = back.pixel(rect.center());
            const bool grey = colour.red() == colour.green() && colour.green() == colour.blue();
            EXPECT_TRUE(!grey || format == captureJpeg || (qRed(c) == qGreen(c) && qGreen(c) == qBlue(c)));
            EXPECT_LE(std::max({std::abs(qRed(c) - colour.red()), std::abs(qGreen(c) - colour.green()),
                                std::abs(qBlue(c) - colour.blue())}),
                      grey ? greyTolerance : colourTolerance)
                << colour.name().toStdString();
        }
        if (format != captureJpeg) continue;
        QFile file(QString::fromStdString(r.path));
        QBuffer quality85;  // same picture, same encoder: the file must match quality 85 byte for byte
        ASSERT_TRUE(file.open(QIODevice::ReadOnly) && quality85.open(QIODevice::WriteOnly) &&
                    picture.save(&quality85, "jpeg", 85));
        EXPECT_EQ(file.readAll(), quality85.data());
    }
    // An unknown format, no picture, a GIF too wide for its size fields: an error and no file.
    EXPECT_FALSE(savePicture(testPicture(), 5, dir.path).ok());
    EXPECT_FALSE(savePicture(QImage(), capturePng, dir.path).ok());
    EXPECT_FALSE(savePicture(QImage(70000, 1, QImage::Format_RGB32), captureGif, dir.path).ok());
    EXPECT_EQ(dir.fileCount(), 5u);
}

}  // namespace
}  // namespace tolvek
