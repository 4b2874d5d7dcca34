// Failures of the stream layer on PortAudio's real default devices at
// start-up (a refused rate: the session's and the window's live tests).
#include <gtest/gtest.h>
#include <portaudio.h>

#include <cstdlib>
#include <fstream>

#include "audio_stream.h"
#include "virtual_device.h"  // tests/support

namespace tolvek::test {
namespace {

// Whether `text` is what the library says for some error code (its own
// message, with what is missing after it, or the host error the stream
// layer reports instead).
bool isLibraryText(const std::string& text) {
    bool known = text.rfind("Host error", 0) == 0;
    for (PaError e = paNotInitialized; e <= paNotInitialized + 40; ++e) known |= text.rfind(Pa_GetErrorText(e), 0) == 0;
    return known;
}

// No JACK server, then a server whose capture ports do not exist: the
// library's own text, then a host error.
TEST(LiveStreamFailure, StartUpFailsWithTheLibrarysTextAndLeavesNothing) {
    for (const bool withServer : {false, true}) {
        SCOPED_TRACE(withServer);
        test::VirtualDevice device;
        if (withServer)
            ASSERT_TRUE(device.start({22050, "", "", 0}));
        else
            setenv("JACK_DEFAULT_SERVER", ("tolvek-nobody-" + std::to_string(getpid())).c_str(), 1);
        const std::string capture = withServer ? "nobody:out" : "system:capture";
        std::ofstream(device.path("broken.conf")) << "pcm.!default { type jack playback_ports { 0 system:playback_1 "
                                                     "1 system:playback_2 } capture_ports { 0 "
                                                  << capture << "_1 1 " << capture << "_2 } }\n";
        setenv("ALSA_CONFIG_PATH", ("/usr/share/alsa/alsa.conf:" + device.path("broken.conf")).c_str(), 1);
        setenv("JACK_NO_START_SERVER", "1", 1);
        Engine engine;
        AudioStreamState state{.engine = &engine};
        const StreamOutcome r = restartAudioStream(state, 22050, 0);
        EXPECT_TRUE(!r.ok && isLibraryText(r.errorText)) << r.errorText;
        EXPECT_TRUE(!state.audioStream && !state.libraryInitialised && !state.runningRate && !state.blocks.load());
        EXPECT_EQ(Pa_GetDeviceCount(), paNotInitialized) << "the library is still initialised";
    }
}

}  // namespace
}  // namespace tolvek::test
