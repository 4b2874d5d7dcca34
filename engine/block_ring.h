// Single-producer, single-consumer ring of recorded blocks: the audio
// callback pushes, the recorder's writer thread pops. Never blocks; a push
// into a full ring is counted as dropped.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <cstring>

namespace tolvek {

constexpr int recordBlockLength = 2048;

struct RecordBlock {
    int32_t samples[recordBlockLength];  // the block's samples times 8, truncated
};

template <int Capacity>
class BlockRing {
    static_assert((Capacity & (Capacity - 1)) == 0, "capacity must be a power of two");

   public:
    // Producer side (audio thread).
    bool push(const int32_t* samples) noexcept {
        const uint32_t w = writeCount.load(std::memory_order_relaxed);
        if (w - readCount.load(std::memory_order_acquire) >= Capacity) {
            droppedBlocks.fetch_add(1, std::memory_order_relaxed);
            return false;
        }
        std::memcpy(blocks[w & (Capacity - 1)].samples, samples, sizeof(RecordBlock));
        writeCount.store(w + 1, std::memory_order_release);
        return true;
    }

    // Consumer side (writer thread): the oldest block, or null when empty.
    const RecordBlock* front() const noexcept {
        const uint32_t r = readCount.load(std::memory_order_relaxed);
        if (r == writeCount.load(std::memory_order_acquire)) return nullptr;
        return &blocks[r & (Capacity - 1)];
    }
    void pop() noexcept { readCount.store(readCount.load(std::memory_order_relaxed) + 1, std::memory_order_release); }

    uint32_t dropped() const noexcept { return droppedBlocks.load(std::memory_order_relaxed); }
    void resetDropped() noexcept { droppedBlocks.store(0, std::memory_order_relaxed); }

   private:
    std::array<RecordBlock, Capacity> blocks{};
    alignas(64) std::atomic<uint32_t> writeCount{0};
    alignas(64) std::atomic<uint32_t> readCount{0};
    alignas(64) std::atomic<uint32_t> droppedBlocks{0};
};

}  // namespace tolvek
