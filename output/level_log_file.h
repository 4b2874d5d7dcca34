// The chart recorder's level log: "Level Log hh.mm.ss h.csv", one row per
// plotted point (time of day, level in dB), never replacing a file. Each row
// is flushed as it is written, so a killed program loses at most the point
// being written.
#pragma once

#include <cstdio>
#include <ctime>
#include <string>

namespace tolvek {

std::string levelLogStem(const std::tm& t);  // "Level Log 09.05.03 h"

class LevelLogFile {
  public:
    LevelLogFile() = default;
    LevelLogFile(const LevelLogFile&) = delete;
    LevelLogFile& operator=(const LevelLogFile&) = delete;
    ~LevelLogFile() { close(); }

    // Creates the log in `dir` (empty: the current directory) named from
    // `now`, with its header row; false and `error` set when it cannot.
    bool open(const std::string& dir, const std::tm& now, std::string& error);
    // Appends one row; false once a write has failed.
    bool append(const std::tm& time, float levelDb);
    void close();

    bool isOpen() const { return file != nullptr; }
    const std::string& path() const { return path_; }

  private:
    std::FILE* file = nullptr;
    std::string path_;
};

}  // namespace tolvek
