// Whole writes to a file descriptor, retried over short writes and signals.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>

namespace tolvek {

// Returns false (with errno set) unless all `n` bytes were written.
// `written` receives how many were.
bool writeFully(int fd, const void* data, size_t n, size_t& written);
bool writeFullyAt(int fd, const void* data, size_t n, off_t offset);

// The system's description of the current errno.
std::string errnoText();

}  // namespace tolvek
