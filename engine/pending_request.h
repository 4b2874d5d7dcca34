// A request posted by the message thread and acquired by the audio thread
// before its next sample: the poster stores any values the request carries
// (relaxed atomics) and then posts; the audio thread sees them once it has
// acquired the post. Requests posted in between merge into one.
#pragma once

#include <atomic>
#include <cstdint>

namespace tolvek {

class PendingRequest {
  public:
    // Message thread.
    void post() noexcept { posted.fetch_add(1, std::memory_order_release); }

    // Audio thread: true once for each run of posts it has not yet seen.
    bool acquire() noexcept {
        const uint32_t n = posted.load(std::memory_order_acquire);
        if (n == taken) return false;
        taken = n;
        return true;
    }

  private:
    std::atomic<uint32_t> posted{0};
    uint32_t taken = 0;  // audio thread only
};

}  // namespace tolvek
