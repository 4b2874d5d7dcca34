// The one block length of the program: the frames the sound device hands
// over per callback, the samples the engine filters per block and the
// samples of each block that goes to the recorder.
#pragma once

namespace tolvek {

constexpr int blockLength = 2048;

}  // namespace tolvek
