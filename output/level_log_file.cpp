#include "level_log_file.h"

#include <unistd.h>

#include "capture_names.h"

namespace tolvek {

std::string levelLogStem(const std::tm& t) { return timeStem("Level Log ", t); }

bool LevelLogFile::open(const std::string& dir, const std::tm& now, std::string& error) {
    close();
    const CreatedFile created = createUniqueFile(dir, levelLogStem(now), ".csv");
    if (created.fd < 0) {
        error = created.error;
        return false;
    }
    file = ::fdopen(created.fd, "w");
    if (!file) {
        ::close(created.fd);
        error = "cannot write " + created.path;
        return false;
    }
    path_ = created.path;
    return std::fputs("time,level_dB\n", file) >= 0 && std::fflush(file) == 0;
}

bool LevelLogFile::append(const std::tm& t, float levelDb) {
    if (!file) return false;
    return std::fprintf(file, "%02d:%02d:%02d,%.1f\n", t.tm_hour, t.tm_min, t.tm_sec, double(levelDb)) > 0 &&
           std::fflush(file) == 0;
}

void LevelLogFile::close() {
    if (file) std::fclose(file);
    file = nullptr;
}

}  // namespace tolvek
