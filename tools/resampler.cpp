#include "resampler.h"

#include <cmath>
#include <stdexcept>
#include <string>

namespace tolvek {

Resampler::Resampler(double inputRate, double outputRate) : ratio(outputRate / inputRate) {
    if (inputRate == outputRate) return;
    soxr_error_t error = nullptr;
    soxr.reset(soxr_create(inputRate, outputRate, 1, &error, nullptr, nullptr, nullptr));
    if (!soxr) throw std::runtime_error(std::string("cannot convert the sample rate: ") + error);
}

void Resampler::run(const float* in, size_t count, std::vector<float>& out) {
    // soxr takes what fits in the room offered; offer room until all input is
    // taken and, at the end (no input), until nothing more comes out.
    for (;;) {
        const size_t room = static_cast<size_t>(double(count) * ratio) + 4096;
        const size_t at = out.size();
        out.resize(at + room);
        size_t taken = 0, made = 0;
        if (soxr_error_t e = soxr_process(soxr.get(), in, count, &taken, out.data() + at, room, &made))
            throw std::runtime_error(std::string("cannot convert the sample rate: ") + e);
        out.resize(at + made);
        if (in) {
            in += taken;
            count -= taken;
            if (count == 0) return;
        } else if (made < room) {
            return;
        }
    }
}

void Resampler::push(const float* in, size_t count, std::vector<float>& out) {
    if (!soxr) {
        out.insert(out.end(), in, in + count);
        return;
    }
    if (count > 0) run(in, count, out);
}

void Resampler::finish(std::vector<float>& out) {
    if (soxr) run(nullptr, 0, out);
}

long long Resampler::outputLength(long long inputCount) const { return std::llround(double(inputCount) * ratio); }

}  // namespace tolvek
