// The recorder tests' blocks and the checks of the files they end in.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <numeric>
#include <string>
#include <vector>

#include "block_ring.h"
#include "settings.h"
#include "sound_file.h"
#include "temp_dir.h"

namespace tolvek::test {

inline std::vector<uint8_t> readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

inline uint32_t le32(const std::vector<uint8_t>& b, size_t at) {
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}
inline uint16_t le16(const std::vector<uint8_t>& b, size_t at) { return uint16_t(b[at] | b[at + 1] << 8); }

// The engine's recording step for a block whose every sample is `tag`, so
// that its position shows in the file.
template <typename Ring>
void pushTagged(ProcessingSettings& s, Ring& ring, int32_t tag) {
    RecordBlock b;
    std::fill(std::begin(b.samples), std::end(b.samples), tag);
    if (s.recordingOn.load(std::memory_order_acquire) == 1) ring.push(b.samples);
}

// The tags of a file's blocks, or -1 for a block whose frames disagree
// (a torn block, or the channels differ).
inline std::vector<int> blockTags(const Sound& s) {
    std::vector<int> tags;
    for (auto b = s.samples.begin(); s.samples.end() - b >= 2 * blockLength; b += 2 * blockLength)
        tags.push_back(
            std::all_of(b, b + 2 * blockLength, [&](float v) { return v == *b; }) ? int(std::lround(*b * 32768)) : -1);
    return tags;
}

// A complete file: every header field describes exactly its bytes (16-bit
// stereo PCM at `rate`), and it holds the `count` blocks tagged from `first` on.
inline void expectWaveFile(const std::string& path, int first, int count, int rate = 22050) {
    SCOPED_TRACE(path);
    const uint32_t data = 8192 * uint32_t(count), r = uint32_t(rate);
    const auto h = readBytes(path);
    ASSERT_EQ(h.size(), 44 + data);
    const auto text = [&](long at, long n) { return std::string(h.begin() + at, h.begin() + at + n); };
    EXPECT_EQ(text(0, 4) + text(8, 8) + text(36, 4), "RIFFWAVEfmt data");
    const std::tuple<size_t, uint32_t, int> fields[] = {{4, 36 + data, 4}, {16, 16, 4}, {20, 1, 2},
                                                        {22, 2, 2},        {24, r, 4},  {28, r * 4, 4},
                                                        {32, 4, 2},        {34, 16, 2}, {40, data, 4}};
    for (const auto& [at, want, n] : fields) EXPECT_EQ(n == 4 ? le32(h, at) : le16(h, at), want) << "offset " << at;
    std::vector<int> tags(static_cast<size_t>(count));
    std::iota(tags.begin(), tags.end(), first);
    EXPECT_EQ(blockTags(readSound(path)), tags);
}

}  // namespace tolvek::test
