// Sample-rate conversion of one channel with libsoxr at its high quality,
// fed and drained in pieces; a plain copy when both rates are equal.
#pragma once

#include <soxr.h>

#include <memory>
#include <vector>

namespace tolvek {

class Resampler {
  public:
    Resampler(double inputRate, double outputRate);

    // Converts `count` samples and appends what is ready to `out`.
    void push(const float* in, size_t count, std::vector<float>& out);

    // Appends the rest once the input has ended.
    void finish(std::vector<float>& out);

    // Samples at the output rate that correspond to `inputCount` input samples.
    long long outputLength(long long inputCount) const;

  private:
    struct Closer {
        void operator()(soxr_t s) const { soxr_delete(s); }
    };
    void run(const float* in, size_t count, std::vector<float>& out);

    double ratio;                                                 // output rate / input rate
    std::unique_ptr<std::remove_pointer_t<soxr_t>, Closer> soxr;  // null when the rates are equal
};

}  // namespace tolvek
