// Pictures of the main window or the chart, saved as BMP, JPEG, PNG or GIF
// under a name from the local time, never replacing an existing file.
#pragma once

#include <QImage>
#include <string>

#include "output_result.h"

namespace tolvek {

// captureFormat values, set by the Capture menu.
constexpr int captureBmp = 1, captureJpeg = 2, capturePng = 3, captureGif = 4;
constexpr int jpegQuality = 85;

// Writes `image` as "Capture hh.mm.ss h.<ext>" (with " (2)" etc. when taken)
// in `dir` (empty: the current directory). Returns the path, or an error
// for the user; a failed picture leaves no file behind.
OutputResult savePicture(const QImage& image, int captureFormat, const std::string& dir = "");

}  // namespace tolvek
