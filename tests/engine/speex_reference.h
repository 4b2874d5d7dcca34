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
    const size_t frame = size_t(rate / 50);
    SpeexPreprocessState* st = speex_preprocess_state_init(int(frame), rate);  // the noise suppressor on by default
    std::vector<float> y(x.size(), 0.0f);
    std::vector<spx_int16_t> buf(frame);
    for (size_t s = 0; s + frame <= x.size(); s += frame) {
        for (size_t i = 0; i < frame; ++i) buf[i] = spx_int16_t(std::clamp(x[s + i] * scale, -32767.0f, 32767.0f));
        speex_preprocess_run(st, buf.data());
        for (size_t i = 0; i < frame; ++i) y[s + i] = buf[i] / scale;
    }
    speex_preprocess_state_destroy(st);
    return y;
}

}  // namespace tolvek::test
