// Time-of-day file names for recordings and pictures, and their creation
// without ever replacing an existing file.
#pragma once

#include <ctime>
#include <string>

namespace tolvek {

// The local time of day now.
std::tm localTimeNow();

// `prefix` and the time of day, "09.05.03 h": a file name without its extension.
std::string timeStem(const char* prefix, const std::tm& t);

// "Wave Capture 09.05.03 h" and "Capture 09.05.03 h".
std::string waveCaptureStem(const std::tm& t);
std::string pictureStem(const std::tm& t);

// A newly created, empty file opened for writing, or the reason none was made.
struct CreatedFile {
    int fd = -1;
    std::string path;   // directory + name
    std::string error;  // empty on success
};

// Creates `dir`/`stem``ext` exclusively (O_EXCL, so a concurrent creator
// cannot be overwritten either); when the name is taken, tries
// "`stem` (2)`ext`", "`stem` (3)`ext`", ... An empty `dir` is the current
// directory.
CreatedFile createUniqueFile(const std::string& dir, const std::string& stem, const std::string& ext);

}  // namespace tolvek
