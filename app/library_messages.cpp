#include "library_messages.h"

#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace tolvek {

namespace {

std::atomic<pthread_t> noted{0};
std::atomic<pthread_t> lost{0};

// The line written last. Writes come one at a time: the stream's own lock
// is held around each.
std::array<char, 512> last{};
size_t lastSize = 0;

void writeAll(const char* data, size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(STDERR_FILENO, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        data += n;
        size -= static_cast<size_t>(n);
    }
}

// Writes the line unless it repeats the one before; false when it does.
bool writeNewLine(const char* line, size_t size) {
    if (size == lastSize && std::memcmp(line, last.data(), size) == 0) return false;
    lastSize = size <= last.size() ? size : 0;
    std::memcpy(last.data(), line, lastSize);
    writeAll(line, size);
    return true;
}

// The stream is line-buffered: each call brings a line or a few.
ssize_t writeMessage(void*, const char* data, size_t size) {
    bool repeated = false;
    for (size_t begin = 0, end; begin < size; begin = end) {
        const void* newline = std::memchr(data + begin, '\n', size - begin);
        end = newline ? static_cast<size_t>(static_cast<const char*>(newline) - data) + 1 : size;
        repeated |= !writeNewLine(data + begin, end - begin);
    }
    const pthread_t self = pthread_self();
    // Unwinds as a cancellation does: the library's clean-up handler runs,
    // the stream's lock is released, and the aborting thread's join returns.
    if (repeated && pthread_equal(self, lost.load())) pthread_exit(PTHREAD_CANCELED);
    if (repeated && pthread_equal(self, noted.load(std::memory_order_relaxed))) {
        const timespec turn{0, 10'000'000};
        nanosleep(&turn, nullptr);
    }
    return static_cast<ssize_t>(size);
}

}  // namespace

void filterLibraryMessages() {
    static const bool routed = [] {
        FILE* filtered = fopencookie(nullptr, "w", {nullptr, writeMessage, nullptr, nullptr});
        if (!filtered || setvbuf(filtered, nullptr, _IOLBF, BUFSIZ) != 0) return false;
        std::fflush(stderr);
        stderr = filtered;
        return true;
    }();
    (void)routed;
}

void noteAudioThread() { noted.store(pthread_self(), std::memory_order_relaxed); }

pthread_t audioThread() { return noted.load(std::memory_order_relaxed); }

void markLostAudioThread(pthread_t thread) { lost.store(thread); }

}  // namespace tolvek
