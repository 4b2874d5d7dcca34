#include "program.h"

#include <QApplication>
#include <memory>

#include "main_window.h"

namespace tolvek {

int runProgram(const ProgramOptions& options) {
    InstanceLock lock(options.lockPath);
    if (!mayStart(lock, options.askStartAnyway)) return 0;

    auto engine = std::make_unique<Engine>();  // large: the block buffers and the FFT state
    MainWindow window(*engine);
    const StreamOutcome started = window.startAudio(options.streamPauseMs);
    if (!started.ok) {
        showAudioError(nullptr, started.errorText);  // before the window shows, so no owner
        return 1;
    }
    window.show();
    return QApplication::exec();
}

}  // namespace tolvek
