// The offline tool's level log: the signal level of the filtered spectrum,
// by the formula the main window and the chart recorder use, one CSV row
// per 50 ms of output (time in s, level in dB).
#pragma once

#include <cstdio>
#include <string>

#include "output_target.h"
#include "shared_values.h"

namespace tolvek {

class LevelLog {
  public:
    bool open(const std::string& path, std::string& error);

    // After each engine block: rows for every 50 ms tick before `outputEnd`
    // samples of output at `rate`, with the level the block left behind.
    void afterBlock(const SharedValues& shared, long long outputEnd, int rate);

    bool finish(std::string& error);
    void discard();

  private:
    OutputTarget target;
    std::FILE* file = nullptr;
    long long rows = 0;
};

}  // namespace tolvek
