// A virtual sound card for one test: scripts/virtual-audio/device.sh run in a
// private directory, with its environment exported to this process so that
// PortAudio's default devices are the device's. Stopped on destruction, and
// by the script's watchdog should this process die first.
#pragma once

#include <string>

namespace tolvek::live {

struct DeviceOptions {
    int rate = 22050;
    std::string feedWav;         // default input; silence when empty
    std::string recordWav;       // default output recorded here; discarded when empty
    double recordSeconds = 0.0;  // length of the recording, counted from start-up
};

class VirtualDevice {
  public:
    VirtualDevice();  // makes the directory only
    ~VirtualDevice();
    VirtualDevice(const VirtualDevice&) = delete;
    VirtualDevice& operator=(const VirtualDevice&) = delete;

    // Starts the server and its clients and exports their environment;
    // false (with the script's output on stderr) when that fails.
    bool start(const DeviceOptions& options);
    void stop();

    // Waits until the recorder has finished and closed its file.
    bool waitForRecording(int timeoutSeconds);

    // A path inside the device's private directory.
    std::string path(const std::string& name) const { return dir + "/" + name; }

  private:
    std::string dir;
    bool running = false;
};

}  // namespace tolvek::live
