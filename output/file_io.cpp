#include "file_io.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tolvek {

bool writeFully(int fd, const void* data, size_t n, size_t& written) {
    const auto* p = static_cast<const char*>(data);
    written = 0;
    while (written < n) {
        const ssize_t k = ::write(fd, p + written, n - written);
        if (k < 0 && errno == EINTR) continue;
        if (k <= 0) {
            if (k == 0) errno = ENOSPC;
            return false;
        }
        written += static_cast<size_t>(k);
    }
    return true;
}

bool writeFullyAt(int fd, const void* data, size_t n, off_t offset) {
    const auto* p = static_cast<const char*>(data);
    size_t done = 0;
    while (done < n) {
        const ssize_t k = ::pwrite(fd, p + done, n - done, offset + static_cast<off_t>(done));
        if (k < 0 && errno == EINTR) continue;
        if (k <= 0) {
            if (k == 0) errno = ENOSPC;
            return false;
        }
        done += static_cast<size_t>(k);
    }
    return true;
}

std::string errnoText() {
    char buf[256];
    return strerror_r(errno, buf, sizeof buf);  // GNU form: returns the text
}

}  // namespace tolvek
