#include "virtual_device.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace tolvek::test {

static std::string quoted(const std::string& s) { return "'" + s + "'"; }

// Runs the device script's `command` on this device's folder.
static bool script(const std::string& command, const std::string& dir, const std::string& args = "") {
    return std::system((quoted(TOLVEK_DEVICE_SCRIPT) + " " + command + " " + quoted(dir) + args).c_str()) == 0;
}

VirtualDevice::VirtualDevice() {
    char pattern[] = "/tmp/tolvek-live-XXXXXX";
    if (mkdtemp(pattern)) dir = pattern;
}

VirtualDevice::~VirtualDevice() {
    stop();
    if (!dir.empty() && !keep && !std::getenv("TOLVEK_KEEP_DEVICE_LOGS")) std::filesystem::remove_all(dir);
}

bool VirtualDevice::start(const DeviceOptions& o) {
    if (dir.empty()) return false;
    std::string args =
        " " + std::to_string(o.rate) + " --server " + soundServer() + " --owner " + std::to_string(getpid());
    if (!o.feedWav.empty()) args += " --feed " + quoted(o.feedWav);
    if (!o.recordWav.empty()) args += " --record " + quoted(o.recordWav) + " " + std::to_string(o.recordSeconds);
    if (o.anyRate) args += " --any-rate";
    running = true;  // stop() undoes a partial start too
    int exported = 0;
    std::ifstream env(script("start", dir, args) ? path("env") : "");  // lines of NAME=value
    for (std::string line; std::getline(env, line);)
        if (const auto eq = line.find('='); eq != std::string::npos)
            exported += setenv(line.substr(0, eq).c_str(), line.c_str() + eq + 1, 1) == 0;
    keep = exported == 0;
    if (keep) std::fprintf(stderr, "virtual %s device did not start; logs in %s\n", soundServer().c_str(), dir.c_str());
    return !keep;
}

void VirtualDevice::stop() {
    if (running) script("stop", dir);
    running = false;
}

bool VirtualDevice::waitForRecording(int timeoutSeconds) {
    return script("wait", dir, " " + std::to_string(timeoutSeconds));
}

long VirtualDevice::serverPid() const {
    std::ifstream pids(path("pids"));
    long pid = 0;  // on PipeWire the session bus comes first, then the server
    return pids >> pid && (soundServer().rfind("pipewire", 0) != 0 || pids >> pid) ? pid : 0;
}

std::string soundServer() {
    const char* s = std::getenv("TOLVEK_SOUND_SERVER");
    return s && *s ? s : "jack";
}

bool deviceRequired() { return std::getenv("CI") != nullptr; }

}  // namespace tolvek::test
