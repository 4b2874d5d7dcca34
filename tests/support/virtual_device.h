// A virtual sound card for one test: scripts/virtual-audio/device.sh run in a
// private folder on the sound server named by TOLVEK_SOUND_SERVER (JACK when
// unset), with its environment exported to this process so that PortAudio's
// default devices are the device's. Stopped on destruction, and by the
// script's watchdog should this process die first. ALSA reads its
// configuration once per process, so a test executable uses one device (or
// several of the same server and rate) at a time.
#pragma once

#include <string>

namespace tolvek::test {

struct DeviceOptions {
    int rate = 22050;
    std::string feedWav{};       // default input; silence when empty
    std::string recordWav{};     // default output recorded here; discarded when empty
    double recordSeconds = 0.0;  // length of the recording, counted from start-up
    bool anyRate = false;        // on JACK, let ALSA convert other rates (the other servers always do)
};

class VirtualDevice {
  public:
    VirtualDevice();  // makes the folder only
    ~VirtualDevice();
    VirtualDevice(const VirtualDevice&) = delete;
    VirtualDevice& operator=(const VirtualDevice&) = delete;

    // Starts the server and its clients and exports their environment;
    // false (the folder and its logs kept, and named on stderr) when that fails.
    bool start(const DeviceOptions& options);
    void stop();

    // Waits until the recorder has finished and closed its file.
    bool waitForRecording(int timeoutSeconds);

    // A path inside the device's private folder.
    std::string path(const std::string& name) const { return dir + "/" + name; }

    // The sound server's process, for tests that make it go away; 0 when unknown.
    long serverPid() const;

  private:
    std::string dir;
    bool running = false;
    bool keep = false;  // logs of a failed start stay for the reader
};

// The server the live tests run on: TOLVEK_SOUND_SERVER, else "jack".
std::string soundServer();

// Whether a device that does not start fails the test rather than skipping
// it: on CI (CI set), where a skip would pass unnoticed.
bool deviceRequired();

}  // namespace tolvek::test
