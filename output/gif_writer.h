// GIF encoding through giflib; Qt reads GIF but cannot write it.
#pragma once

#include <QByteArray>
#include <QImage>
#include <string>

namespace tolvek {

// Encodes `image` as a GIF. A picture of 256 colours or fewer keeps every
// colour exactly; one with more gets a fixed palette (a 6 x 6 x 6 colour
// cube plus 40 greys, so greys stay grey), nearest colour per pixel, no
// dithering. On failure returns false with `error` set.
bool encodeGif(const QImage& image, QByteArray& out, std::string& error);

}  // namespace tolvek
