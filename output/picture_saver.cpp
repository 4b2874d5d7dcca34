#include "picture_saver.h"

#include <unistd.h>

#include <QBuffer>
#include <QImageWriter>

#include "capture_names.h"
#include "file_io.h"
#include "gif_writer.h"

namespace tolvek {

namespace {

const char* extensionFor(int captureFormat) {
    switch (captureFormat) {
        case captureBmp:
            return ".bmp";
        case captureJpeg:
            return ".jpg";
        case capturePng:
            return ".png";
        case captureGif:
            return ".gif";
        default:
            return nullptr;
    }
}

bool encodeWithQt(const QImage& image, const char* format, int quality, QByteArray& out, std::string& error) {
    QBuffer buffer(&out);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setQuality(quality);
    if (writer.write(image)) return true;
    error = "Could not encode the picture: " + writer.errorString().toStdString();
    return false;
}

bool encode(const QImage& image, int captureFormat, QByteArray& out, std::string& error) {
    switch (captureFormat) {
        case captureBmp:
            return encodeWithQt(image, "bmp", -1, out, error);
        case captureJpeg:
            return encodeWithQt(image, "jpeg", jpegQuality, out, error);
        case capturePng:
            return encodeWithQt(image, "png", -1, out, error);
        default:
            return encodeGif(image, out, error);
    }
}

}  // namespace

OutputResult savePicture(const QImage& image, int captureFormat, const std::string& dir) {
    const char* ext = extensionFor(captureFormat);
    if (!ext) return {"", "Unknown picture format " + std::to_string(captureFormat) + "."};
    if (image.isNull()) return {"", "There is no picture to save."};

    const std::tm now = localTimeNow();  // the moment of the picture, before encoding
    QByteArray bytes;
    std::string error;
    if (!encode(image, captureFormat, bytes, error)) return {"", error};

    CreatedFile f = createUniqueFile(dir, pictureStem(now), ext);
    if (f.fd < 0) return {"", f.error};
    size_t written = 0;
    const bool wrote = writeFully(f.fd, bytes.constData(), size_t(bytes.size()), written);
    const std::string writeError = wrote ? "" : errnoText();
    const bool closed = ::close(f.fd) == 0;
    if (wrote && closed) return {f.path, ""};
    const std::string reason = wrote ? errnoText() : writeError;
    ::unlink(f.path.c_str());
    return {"", "Could not write " + f.path + ": " + reason};
}

}  // namespace tolvek
