// Disk full, emulated with the process's file size limit: writes beyond it
// fail with EFBIG instead of raising SIGXFSZ.
#pragma once

#include <sys/resource.h>

#include <csignal>

namespace tolvek::test {

struct FileSizeLimit {
    rlimit old{};
    explicit FileSizeLimit(rlim_t bytes) {
        std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &old);
        const rlimit lim{bytes, old.rlim_max};
        setrlimit(RLIMIT_FSIZE, &lim);
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &old); }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;
};

}  // namespace tolvek::test
