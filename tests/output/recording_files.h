// Helpers of the recorder and picture tests: a private directory, and ways
// to look at the files written into it.
#pragma once

#include <sndfile.h>
#include <stdlib.h>
#include <sys/resource.h>

#include <csignal>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "block_ring.h"
#include "settings.h"

namespace tolvek::testing {

struct TempDir {
    std::filesystem::path path;
    TempDir() {
        std::string t = (std::filesystem::temp_directory_path() / "tolvek-output-XXXXXX").string();
        path = mkdtemp(t.data());
    }
    ~TempDir() { std::filesystem::remove_all(path); }
    std::string str() const { return path.string(); }
    size_t fileCount() const { return size_t(std::distance(std::filesystem::directory_iterator(path), {})); }
};

inline std::vector<uint8_t> readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

inline uint32_t le32(const std::vector<uint8_t>& b, size_t at) {
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}
inline uint16_t le16(const std::vector<uint8_t>& b, size_t at) { return uint16_t(b[at] | b[at + 1] << 8); }

// Disk full, emulated with the process's file size limit: writes beyond it
// fail with EFBIG instead of raising SIGXFSZ.
struct FileSizeLimit {
    rlimit old{};
    explicit FileSizeLimit(rlim_t bytes) {
        std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &old);
        rlimit lim = old;
        lim.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &lim);
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &old); }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;
};

// The file as a WAV reader sees it.
struct SoundFile {
    bool opened = false;
    int rate = 0, channels = 0;
    std::vector<int16_t> samples;  // interleaved
};

inline SoundFile readSoundFile(const std::string& path) {
    SF_INFO info{};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    if (!f) return {};
    SoundFile s{true, info.samplerate, info.channels, std::vector<int16_t>(size_t(info.frames * info.channels))};
    sf_readf_short(f, s.samples.data(), info.frames);
    sf_close(f);
    return s;
}

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
inline std::vector<int> blockTags(const SoundFile& s) {
    std::vector<int> tags;
    const size_t perBlock = 2 * size_t(blockLength);
    for (size_t at = 0; at + perBlock <= s.samples.size(); at += perBlock) {
        const auto block = s.samples.begin() + long(at);
        const bool same = std::all_of(block, block + long(perBlock), [&](int16_t v) { return v == *block; });
        tags.push_back(same ? *block : -1);
    }
    return tags;
}

}  // namespace tolvek::testing
