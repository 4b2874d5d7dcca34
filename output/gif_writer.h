// GIF encoding through giflib; Qt reads GIF but cannot write it.
#pragma once

#include <QByteArray>
#include <QImage>
#include <string>

namespace tolvek {

// Encodes `image` as a GIF with a fixed palette (a 6 x 7 x 6 colour cube,
// green finest, as the eye is most sensitive to it), nearest colour per
// pixel, no dithering. On failure returns false with `error` set.
bool encodeGif(const QImage& image, QByteArray& out, std::string& error);

}  // namespace tolvek
