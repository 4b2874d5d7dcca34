#include "gif_writer.h"

#include <gif_lib.h>

#include <vector>

namespace tolvek {

namespace {

constexpr int levelsR = 6, levelsG = 7, levelsB = 6;  // 252 colours of 256

int level(int v, int levels) { return (v * (levels - 1) + 127) / 255; }
int paletteIndex(QRgb c) {
    return (level(qRed(c), levelsR) * levelsG + level(qGreen(c), levelsG)) * levelsB + level(qBlue(c), levelsB);
}

int appendToArray(GifFileType* gif, const GifByteType* data, int n) {
    static_cast<QByteArray*>(gif->UserData)->append(reinterpret_cast<const char*>(data), n);
    return n;
}

ColorMapObject* cubePalette() {
    ColorMapObject* map = GifMakeMapObject(256, nullptr);  // zero-filled
    if (!map) return nullptr;
    for (int r = 0; r < levelsR; ++r)
        for (int g = 0; g < levelsG; ++g)
            for (int b = 0; b < levelsB; ++b) {
                GifColorType& c = map->Colors[(r * levelsG + g) * levelsB + b];
                c.Red = static_cast<GifByteType>(r * 255 / (levelsR - 1));
                c.Green = static_cast<GifByteType>(g * 255 / (levelsG - 1));
                c.Blue = static_cast<GifByteType>(b * 255 / (levelsB - 1));
            }
    return map;
}

}  // namespace

bool encodeGif(const QImage& image, QByteArray& out, std::string& error) {
    const int w = image.width(), h = image.height();
    if (image.isNull() || w > 65535 || h > 65535) {
        error = "The picture has no size a GIF file can hold.";
        return false;
    }
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    out.clear();
    int code = 0;
    GifFileType* gif = EGifOpen(&out, appendToArray, &code);
    if (!gif) {
        error = std::string("GIF encoder: ") + GifErrorString(code);
        return false;
    }
    ColorMapObject* palette = cubePalette();
    bool ok = palette && EGifPutScreenDesc(gif, w, h, 8, 0, palette) == GIF_OK &&
              EGifPutImageDesc(gif, 0, 0, w, h, false, nullptr) == GIF_OK;
    std::vector<GifPixelType> row(static_cast<size_t>(w));
    for (int y = 0; ok && y < h; ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        for (int x = 0; x < w; ++x) row[size_t(x)] = static_cast<GifPixelType>(paletteIndex(line[x]));
        ok = EGifPutLine(gif, row.data(), w) == GIF_OK;
    }
    if (!ok) code = palette ? gif->Error : E_GIF_ERR_NOT_ENOUGH_MEM;
    GifFreeMapObject(palette);
    int closeCode = 0;
    if (EGifCloseFile(gif, &closeCode) != GIF_OK && ok) {
        ok = false;
        code = closeCode;
    }
    if (!ok) error = std::string("GIF encoder: ") + GifErrorString(code);
    return ok;
}

}  // namespace tolvek
