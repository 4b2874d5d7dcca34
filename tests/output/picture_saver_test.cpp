// Pictures in each format decode back to the picture that was saved.
#include "picture_saver.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QCoreApplication>
#include <QPainter>
#include <regex>

#include "gif_writer.h"
#include "recording_files.h"

namespace tolvek {
namespace {

struct Patch {
    QRect rect;
    QColor colour;
};

const Patch patches[] = {
    {{10, 10, 60, 50}, Qt::red},     {{80, 10, 60, 50}, Qt::green},           {{150, 10, 60, 50}, Qt::blue},
    {{220, 10, 60, 50}, Qt::white},  {{10, 80, 60, 50}, QColor(0, 160, 255)}, {{80, 80, 60, 50}, QColor(128, 128, 128)},
    {{300, 195, 10, 10}, Qt::black}, {{150, 80, 60, 50}, QColor(96, 96, 96)},  // the graph's grid grey
};

QImage testPicture() {
    QImage image(317, 211, QImage::Format_RGB32);  // odd sizes on purpose
    image.fill(Qt::black);
    QPainter p(&image);
    for (const Patch& patch : patches) p.fillRect(patch.rect, patch.colour);
    return image;
}

int colourDistance(QRgb a, QColor b) {
    return std::max({std::abs(qRed(a) - b.red()), std::abs(qGreen(a) - b.green()), std::abs(qBlue(a) - b.blue())});
}

TEST(Pictures, EachFormatDecodesBack) {
    struct Case {
        int format;
        const char* ext;
        int tolerance;
    };
    // BMP, PNG and GIF (a picture of few colours) are lossless; JPEG at quality 85 is close.
    const Case cases[] = {
        {captureBmp, "bmp", 0}, {captureJpeg, "jpg", 24}, {capturePng, "png", 0}, {captureGif, "gif", 0}};
    test::TempDir dir;
    const QImage picture = testPicture();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.ext);
        const OutputResult r = savePicture(picture, c.format, dir.str());
        ASSERT_TRUE(r.ok()) << r.error;
        const std::string name = std::filesystem::path(r.path).filename().string();
        EXPECT_TRUE(
            std::regex_match(name, std::regex(std::string(R"(Capture \d\d\.\d\d\.\d\d h( \(\d+\))?\.)") + c.ext)))
            << name;
        const QImage back(QString::fromStdString(r.path));
        ASSERT_FALSE(back.isNull());
        EXPECT_EQ(back.size(), picture.size());
        for (const Patch& p : patches) EXPECT_LE(colourDistance(back.pixel(p.rect.center()), p.colour), c.tolerance);
        if (c.format != captureJpeg) continue;
        QByteArray quality85;  // same picture, same encoder: the file must match quality 85 byte for byte
        QBuffer buffer(&quality85);
        ASSERT_TRUE(buffer.open(QIODevice::WriteOnly) && picture.save(&buffer, "jpeg", 85));
        const auto bytes = test::readBytes(r.path);
        EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size())), quality85);
    }
}

TEST(Pictures, GifOfManyColoursKeepsGreysGreyAndColoursClose) {
    QImage picture = testPicture();
    for (int x = 0; x < 300; ++x) picture.setPixel(x, 205, qRgb(x % 256, x / 256 * 100, 7));  // 300 colours
    QByteArray bytes;
    std::string error;
    ASSERT_TRUE(encodeGif(picture, bytes, error)) << error;
    const QImage back = QImage::fromData(bytes, "gif");
    ASSERT_EQ(back.size(), picture.size());
    for (const Patch& p : patches) {
        const QRgb c = back.pixel(p.rect.center());
        const bool grey = p.colour.red() == p.colour.green() && p.colour.green() == p.colour.blue();
        if (grey) {
            EXPECT_TRUE(qRed(c) == qGreen(c) && qGreen(c) == qBlue(c)) << p.colour.red();
        }
        EXPECT_LE(colourDistance(c, p.colour), grey ? 4 : 26) << p.colour.name().toStdString();
    }
}

TEST(Pictures, FailuresAreReportedAndLeaveNoFile) {
    test::TempDir dir;
    const OutputResult missingDir = savePicture(testPicture(), captureBmp, dir.str() + "/missing");
    EXPECT_NE(missingDir.error.find("Could not create"), std::string::npos) << missingDir.error;
    EXPECT_FALSE(savePicture(testPicture(), 5, dir.str()).ok());
    EXPECT_FALSE(savePicture(QImage(), capturePng, dir.str()).ok());
    EXPECT_FALSE(savePicture(QImage(70000, 1, QImage::Format_RGB32), captureGif, dir.str()).ok());
    EXPECT_EQ(dir.fileCount(), 0u);
}

}  // namespace
}  // namespace tolvek

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);  // image plugins (JPEG, GIF)
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
