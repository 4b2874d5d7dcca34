// Single-producer, single-consumer ring of recorded blocks: the audio
// callback pushes, the recorder's writer thread pops. Never blocks; a push
// into a full ring is counted as dropped.
//
// The ring also has a gate that the consumer opens and closes. After
// close() returns, no push that began before it is still running and no
// later push stores anything, so the consumer may then drain the ring and
// know it stays empty. The gate is a Dekker hand-shake: the producer
// announces itself in `pushing` before it reads `accepting`, the consumer
// clears `accepting` before it reads `pushing`; with sequentially
// consistent order at least one of the two sees the other.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstring>
#include <memory>
#include <thread>

#include "block_length.h"

namespace tolvek {

struct RecordBlock {
    int32_t samples[blockLength];  // the block's samples times 8, truncated
    uint32_t sequence;             // blocks offered before this one since open(), dropped ones included
};

template <int Capacity>
class BlockRing {
    static_assert((Capacity & (Capacity - 1)) == 0, "capacity must be a power of two");

  public:
    // Producer side (audio thread). False when the gate is closed or the
    // ring is full (then counted as dropped).
    bool push(const int32_t (&samples)[blockLength]) noexcept {
        static_assert(sizeof(samples) == sizeof(RecordBlock::samples), "a pushed block fills one RecordBlock");
        pushing.store(true, std::memory_order_seq_cst);
        bool stored = false;
        if (accepting.load(std::memory_order_seq_cst)) {
            const uint32_t w = writeCount.load(std::memory_order_relaxed);
            const uint32_t sequence = offeredBlocks.load(std::memory_order_relaxed);
            if (w - readCount.load(std::memory_order_acquire) >= Capacity) {
                droppedBlocks.fetch_add(1, std::memory_order_relaxed);
            } else {
                RecordBlock& b = blocks[w & (Capacity - 1)];
                std::memcpy(b.samples, samples, sizeof b.samples);
                b.sequence = sequence;
                writeCount.store(w + 1, std::memory_order_release);
                stored = true;
            }
            offeredBlocks.store(sequence + 1, std::memory_order_release);
        }
        pushing.store(false, std::memory_order_release);
        return stored;
    }

    // Consumer side (writer thread): the oldest block, or null when empty.
    const RecordBlock* front() const noexcept {
        const uint32_t r = readCount.load(std::memory_order_relaxed);
        if (r == writeCount.load(std::memory_order_acquire)) return nullptr;
        return &blocks[r & (Capacity - 1)];
    }
    void pop() noexcept { readCount.store(readCount.load(std::memory_order_relaxed) + 1, std::memory_order_release); }

    // Consumer side: lets pushes in, with fresh drop and sequence counts.
    void open() noexcept {
        if (!blocksInMemory) {
            // Brought into memory at the first recording, not before the
            // callback writes them, and not at start in a program that never records.
            std::memset(static_cast<void*>(blocks.get()), 0, sizeof(RecordBlock) * Capacity);
            blocksInMemory = true;
        }
        droppedBlocks.store(0, std::memory_order_relaxed);
        offeredBlocks.store(0, std::memory_order_relaxed);
        accepting.store(true, std::memory_order_seq_cst);
    }
    // Consumer side: shuts the gate and waits out a push already inside it
    // (at most one block copy).
    void close() noexcept {
        accepting.store(false, std::memory_order_seq_cst);
        while (pushing.load(std::memory_order_seq_cst)) std::this_thread::yield();
    }

    uint32_t dropped() const noexcept { return droppedBlocks.load(std::memory_order_relaxed); }
    // Blocks offered since open(), stored or dropped: after close(), the
    // length of the recording's timeline in blocks.
    uint32_t offered() const noexcept { return offeredBlocks.load(std::memory_order_acquire); }

  private:
    // On the heap (megabytes), left untouched until open().
    std::unique_ptr<RecordBlock[]> blocks{new RecordBlock[Capacity]};
    bool blocksInMemory = false;  // consumer side only
    alignas(64) std::atomic<uint32_t> writeCount{0};
    alignas(64) std::atomic<uint32_t> readCount{0};
    alignas(64) std::atomic<uint32_t> droppedBlocks{0};
    std::atomic<uint32_t> offeredBlocks{0};  // written by the producer only, and by open() while the gate is shut
    alignas(64) std::atomic<bool> pushing{false};
    std::atomic<bool> accepting{false};
};

}  // namespace tolvek
