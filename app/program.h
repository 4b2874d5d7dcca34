// The program from start to end, inside an existing QApplication, so that
// tests can run it in-process with their own answers and lock file.
#pragma once

#include <QString>
#include <functional>

#include "audio_stream.h"
#include "single_instance.h"

namespace tolvek {

struct ProgramOptions {
    QString lockPath = defaultInstanceLockPath();
    std::function<bool()> askStartAnyway = askStartAnotherCopy;  // asked when another copy runs
    unsigned streamPauseMs = restartPauseMs;                     // pause before the stream opens
};

// Instance check, main window, audio stream, event loop. Returns the exit
// code: 0 after a normal close or a declined second copy, 1 when the audio
// cannot run (after the "LMS" box).
int runProgram(const ProgramOptions& options = {});

}  // namespace tolvek
