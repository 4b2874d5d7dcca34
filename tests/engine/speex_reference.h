// speexdsp's preprocessor with its noise suppressor on, at its defaults: the
// reference that the spectral noise reduction is measured against.
#pragma once

#include <speex/speex_preprocess.h>

#include <algorithm>
#include <vector>

namespace tolvek::test {

// Runs x (full scale `1 / scale`) through the preprocessor in 16-bit frames
// of 20 ms; the output has x's length and scale.
inline std::vector<float> speexDenoise(const std::vector<float>& x, int rate, float scale) {
    const int frame = rate / 50;
    SpeexPreprocessState* st = speex_preprocess_state_init(frame, rate);
    int on = 1;
    speex_preprocess_ctl(st, SPEEX_PREPROCESS_SET_DENOISE, &on);
    std::vector<float> y(x.size(), 0.0f);
    std::vector<spx_int16_t> buf(static_cast<size_t>(frame));
    for (size_t s = 0; s + static_cast<size_t>(frame) <= x.size(); s += static_cast<size_t>(frame)) {
        for (int i = 0; i < frame; ++i)
            buf[static_cast<size_t>(i)] = static_cast<spx_int16_t>(std::clamp(x[s + i] * scale, -32767.0f, 32767.0f));
        speex_preprocess_run(st, buf.data());
        for (int i = 0; i < frame; ++i) y[s + i] = buf[static_cast<size_t>(i)] / scale;
    }
    speex_preprocess_state_destroy(st);
    return y;
}

}  // namespace tolvek::test
