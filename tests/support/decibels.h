// Decibels of a power ratio and of an amplitude ratio, named apart so that
// neither is taken for the other.
#pragma once

#include <cmath>

namespace tolvek::test {

inline double dBPower(double ratio) { return 10 * std::log10(ratio); }
inline double dBAmplitude(double ratio) { return 20 * std::log10(ratio); }

}  // namespace tolvek::test
