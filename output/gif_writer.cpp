#include "gif_writer.h"

#include <gif_lib.h>

#include <cstdlib>
#include <unordered_map>
#include <vector>

namespace tolvek {

namespace {

constexpr int paletteSize = 256;

// The palette of a picture with more colours: a 6 x 6 x 6 colour cube, whose
// diagonal keeps greys neutral, and 40 more greys between its levels.
constexpr int cubeLevels = 6, cubeColours = cubeLevels * cubeLevels * cubeLevels;
constexpr int extraGreys = paletteSize - cubeColours;

int cubeLevel(int v) { return (v * (cubeLevels - 1) + 127) / 255; }
int extraGrey(int i) { return (255 * (i + 1) + (extraGreys + 1) / 2) / (extraGreys + 1); }

struct Palette {
    std::vector<GifColorType> colours;  // paletteSize entries
    std::unordered_map<QRgb, GifPixelType> exact;
    GifPixelType greyIndex[256] = {};  // nearest grey entry of the fixed palette

    GifPixelType index(QRgb c) const {
        if (!exact.empty()) return exact.at(c & RGB_MASK);
        const int r = qRed(c), g = qGreen(c), b = qBlue(c);
        if (r == g && g == b) return greyIndex[r];
        return static_cast<GifPixelType>((cubeLevel(r) * cubeLevels + cubeLevel(g)) * cubeLevels + cubeLevel(b));
    }
};

// The picture's own colours when there are 256 or fewer, so every pixel keeps
// its colour exactly; otherwise the fixed palette, nearest colour per pixel.
Palette paletteFor(const QImage& rgb) {
    Palette p;
    p.colours.resize(paletteSize, GifColorType{0, 0, 0});
    for (int y = 0; y < rgb.height() && p.exact.size() <= paletteSize; ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        for (int x = 0; x < rgb.width(); ++x) {
            const QRgb c = line[x] & RGB_MASK;
            const bool added = p.exact.emplace(c, static_cast<GifPixelType>(p.exact.size())).second;
            if (added && p.exact.size() <= paletteSize)
                p.colours[p.exact.size() - 1] = {GifByteType(qRed(c)), GifByteType(qGreen(c)), GifByteType(qBlue(c))};
        }
    }
    if (p.exact.size() <= paletteSize) return p;
    p.exact.clear();
    auto level = [](int l) { return static_cast<GifByteType>(l * 255 / (cubeLevels - 1)); };
    for (int i = 0; i < cubeColours; ++i) p.colours[size_t(i)] = {level(i / 36), level(i / 6 % 6), level(i % 6)};
    for (int i = 0; i < extraGreys; ++i) {
        const auto v = static_cast<GifByteType>(extraGrey(i));
        p.colours[size_t(cubeColours + i)] = {v, v, v};
    }
    for (int v = 0; v < 256; ++v) {
        int best = 0;
        for (int i = 0; i < paletteSize; ++i) {
            const GifColorType& c = p.colours[size_t(i)];
            if (c.Red == c.Green && c.Green == c.Blue &&
                std::abs(c.Red - v) < std::abs(p.colours[size_t(best)].Red - v))
                best = i;
        }
        p.greyIndex[v] = static_cast<GifPixelType>(best);
    }
    return p;
}

int appendToArray(GifFileType* gif, const GifByteType* data, int n) {
    static_cast<QByteArray*>(gif->UserData)->append(reinterpret_cast<const char*>(data), n);
    return n;
}

}  // namespace

bool encodeGif(const QImage& image, QByteArray& out, std::string& error) {
    const int w = image.width(), h = image.height();
    if (image.isNull() || w > 65535 || h > 65535) {
        error = "The picture has no size a GIF file can hold.";
        return false;
    }
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    const Palette palette = paletteFor(rgb);
    out.clear();
    int code = 0;
    GifFileType* gif = EGifOpen(&out, appendToArray, &code);
    if (!gif) {
        error = std::string("GIF encoder: ") + GifErrorString(code);
        return false;
    }
    ColorMapObject* map = GifMakeMapObject(paletteSize, palette.colours.data());
    bool ok = map && EGifPutScreenDesc(gif, w, h, 8, 0, map) == GIF_OK &&
              EGifPutImageDesc(gif, 0, 0, w, h, false, nullptr) == GIF_OK;
    std::vector<GifPixelType> row(static_cast<size_t>(w));
    for (int y = 0; ok && y < h; ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        for (int x = 0; x < w; ++x) row[size_t(x)] = palette.index(line[x]);
        ok = EGifPutLine(gif, row.data(), w) == GIF_OK;
    }
    if (!ok) code = map ? gif->Error : E_GIF_ERR_NOT_ENOUGH_MEM;
    GifFreeMapObject(map);
    int closeCode = 0;
    if (EGifCloseFile(gif, &closeCode) != GIF_OK && ok) {
        ok = false;
        code = closeCode;
    }
    if (!ok) error = std::string("GIF encoder: ") + GifErrorString(code);
    return ok;
}

}  // namespace tolvek
