#include "virtual_device.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace tolvek::live {

static std::string shellQuoted(const std::string& s) { return "'" + s + "'"; }

VirtualDevice::VirtualDevice() {
    char pattern[] = "/tmp/tolvek-live-XXXXXX";
    if (mkdtemp(pattern)) dir = pattern;
}

VirtualDevice::~VirtualDevice() {
    stop();
    if (dir.empty()) return;
    if (::testing::Test::HasFailure())
        std::fprintf(stderr, "virtual device logs kept in %s\n", dir.c_str());
    else
        std::filesystem::remove_all(dir);
}

bool VirtualDevice::start(const DeviceOptions& o) {
    if (dir.empty()) return false;
    std::string cmd = shellQuoted(TOLVEK_DEVICE_SCRIPT) + " start " + shellQuoted(dir) + " " + std::to_string(o.rate) +
                      " --owner " + std::to_string(getpid());
    if (!o.feedWav.empty()) cmd += " --feed " + shellQuoted(o.feedWav);
    if (!o.recordWav.empty()) cmd += " --record " + shellQuoted(o.recordWav) + " " + std::to_string(o.recordSeconds);
    running = true;  // stop() undoes a partial start too
    if (std::system(cmd.c_str()) != 0) return false;

    std::ifstream env(path("env"));
    std::string line;
    int exported = 0;
    while (std::getline(env, line)) {
        const auto eq = line.find('=');
        if (eq == std::string::npos) continue;
        setenv(line.substr(0, eq).c_str(), line.substr(eq + 1).c_str(), 1);
        ++exported;
    }
    return exported > 0;
}

void VirtualDevice::stop() {
    if (!running) return;
    running = false;
    std::system((shellQuoted(TOLVEK_DEVICE_SCRIPT) + " stop " + shellQuoted(dir)).c_str());
}

bool VirtualDevice::waitForRecording(int timeoutSeconds) {
    const std::string cmd = shellQuoted(TOLVEK_DEVICE_SCRIPT) + " wait " + shellQuoted(dir) + " " +
                            std::to_string(timeoutSeconds);
    return std::system(cmd.c_str()) == 0;
}

}  // namespace tolvek::live
