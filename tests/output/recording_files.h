// The recorder tests' blocks and the checks of the files they end in.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <iterator>
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
    const size_t perBlock = 2 * size_t(blockLength);
    for (size_t at = 0; at + perBlock <= s.samples.size(); at += perBlock) {
        const auto block = s.samples.begin() + long(at);
        const bool same = std::all_of(block, block + long(perBlock), [&](float v) { return v == *block; });
        tags.push_back(same ? int(std::lround(*block * 32768)) : -1);
    }
    return tags;
}

// A complete file: every header field describes exactly its bytes (16-bit
// stereo PCM at `rate`), and it holds the `count` blocks tagged from `first` on.
inline void expectWaveFile(const std::string& path, int first, int count, int rate = 22050) {
    SCOPED_TRACE(path);
    const uint32_t data = 8192 * uint32_t(count);
    const auto h = readBytes(path);
    ASSERT_EQ(h.size(), 44 + data);
    for (const auto& [at, tag] : {std::pair<size_t, std::string>{0, "RIFF"}, {8, "WAVEfmt "}, {36, "data"}})
        EXPECT_EQ(std::string(h.begin() + long(at), h.begin() + long(at + tag.size())), tag);
    const std::pair<size_t, uint32_t> fields32[] = {
        {4, 36 + data}, {16, 16}, {24, uint32_t(rate)}, {28, uint32_t(rate) * 4}, {40, data}};
    for (const auto& [at, want] : fields32) EXPECT_EQ(le32(h, at), want) << "offset " << at;
    const std::pair<size_t, uint16_t> fields16[] = {{20, 1}, {22, 2}, {32, 4}, {34, 16}};
    for (const auto& [at, want] : fields16) EXPECT_EQ(le16(h, at), want) << "offset " << at;
    const Sound s = readSound(path);
    ASSERT_TRUE(s.opened);
    std::vector<int> tags(static_cast<size_t>(count));
    for (int k = 0; k < count; ++k) tags[size_t(k)] = first + k;
    EXPECT_EQ(blockTags(s), tags);
}

}  // namespace tolvek::test
