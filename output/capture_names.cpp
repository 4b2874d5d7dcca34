#include "capture_names.h"

#include <fcntl.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "file_io.h"

namespace tolvek {

namespace {

constexpr int maxNameSuffix = 999;  // beyond this the directory is surely unusable

}  // namespace

std::string timeStem(const char* prefix, const std::tm& t) {
    char name[64];
    std::snprintf(name, sizeof name, "%s%02d.%02d.%02d h", prefix, t.tm_hour, t.tm_min, t.tm_sec);
    return name;
}

std::tm localTimeNow() {
    const std::time_t now = std::time(nullptr);
    std::tm t{};
    localtime_r(&now, &t);
    return t;
}

std::string waveCaptureStem(const std::tm& t) { return timeStem("Wave Capture ", t); }
std::string pictureStem(const std::tm& t) { return timeStem("Capture ", t); }

CreatedFile createUniqueFile(const std::string& dir, const std::string& stem, const std::string& ext) {
    const std::string prefix = dir.empty() || dir.back() == '/' ? dir : dir + "/";
    CreatedFile f;
    for (int n = 1; n <= maxNameSuffix; ++n) {
        f.path = prefix + stem + (n == 1 ? "" : " (" + std::to_string(n) + ")") + ext;
        f.fd = ::open(f.path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (f.fd >= 0) return f;
        if (errno != EEXIST) break;
    }
    f.error = "Could not create " + f.path + ": " + errnoText();
    return f;
}

}  // namespace tolvek
