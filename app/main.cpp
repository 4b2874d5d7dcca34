// Program entry: starts the audio stream and shows the window.
#include <QApplication>
#include <QMessageBox>
#include <QWidget>
#include <memory>

#include "audio_stream.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    auto engine = std::make_unique<tolvek::Engine>();
    engine->clearBuffers();
    tolvek::AudioStreamState stream;
    stream.engine = engine.get();

    const tolvek::StreamOutcome started =
        tolvek::restartAudioStream(stream, tolvek::get(engine->settings.sampleRate));
    if (!started.ok) {
        QMessageBox::warning(nullptr, "LMS", QString::fromStdString(started.errorText));
        return 1;
    }
    QWidget window;
    window.setWindowTitle("Tolvek Filter");
    window.resize(990, 585);
    window.show();
    const int code = app.exec();
    tolvek::closeAudioStream(stream);
    return code;
}
