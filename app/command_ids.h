// Numbers of the commands that menu items, switches and buttons send to the
// main window (MainWindow::command).
#pragma once

namespace tolvek::cmd {

// File
constexpr int openWaveFile = 201;
constexpr int closeWaveFile = 203;
constexpr int exitProgram = 207;
// Tools
constexpr int cpuLoad = 210;
constexpr int randomNoise = 211;
constexpr int audioDevices = 212;
constexpr int samplerate = 213;
constexpr int chartRecorder = 412;
constexpr int agcFast = 410;
constexpr int agcSlow = 411;
// Help
constexpr int helpContents = 215;
constexpr int about = 218;
// Switches and buttons on the main window
constexpr int blanker = 300;
constexpr int lms = 301;
constexpr int passAll = 308;
constexpr int pass = 309;
constexpr int reject = 310;
constexpr int agc = 311;
constexpr int comb = 312;
constexpr int pause = 313;
constexpr int capture = 319;
// Notch
constexpr int notch1 = 420;
constexpr int notch2 = 421;
constexpr int notch3 = 422;
constexpr int notch4 = 423;
// Later additions, numbered apart from the original commands
constexpr int autoNotch = 7001;  // Notch > "Auto notch"
// Menu bar item
constexpr int controls = 4002;
// View
constexpr int viewFast = 4100;
constexpr int viewSlow = 4101;
// Capture format
constexpr int captureBmp = 4200;
constexpr int captureJpg = 4201;
constexpr int capturePng = 4202;
constexpr int captureGif = 4203;

}  // namespace tolvek::cmd
