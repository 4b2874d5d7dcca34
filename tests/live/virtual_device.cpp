#include "virtual_device.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace tolvek::live {

static std::string quoted(const std::string& s) { return "'" + s + "'"; }

// Runs the device script's `command` on this device's directory.
static bool script(const std::string& command, const std::string& dir, const std::string& args = "") {
    return std::system((quoted(TOLVEK_DEVICE_SCRIPT) + " " + command + " " + quoted(dir) + args).c_str()) == 0;
}

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
    std::string args = " " + std::to_string(o.rate) + " --owner " + std::to_string(getpid());
    if (!o.feedWav.empty()) args += " --feed " + quoted(o.feedWav);
    if (!o.recordWav.empty()) args += " --record " + quoted(o.recordWav) + " " + std::to_string(o.recordSeconds);
    running = true;  // stop() undoes a partial start too
    if (!script("start", dir, args)) return false;

    std::ifstream env(path("env"));
    int exported = 0;
    for (std::string line; std::getline(env, line);) {
        const auto eq = line.find('=');
        if (eq != std::string::npos) exported += setenv(line.substr(0, eq).c_str(), line.c_str() + eq + 1, 1) == 0;
    }
    return exported > 0;
}

void VirtualDevice::stop() {
    if (running) script("stop", dir);
    running = false;
}

bool VirtualDevice::waitForRecording(int timeoutSeconds) {
    return script("wait", dir, " " + std::to_string(timeoutSeconds));
}

}  // namespace tolvek::live
