// Where the offline tool's files go. A regular file (or a name not yet
// taken) is written under a temporary name beside it and renamed over it at
// the end, so a failure or a signal never leaves half a file; a symbolic
// link is followed to the file it names. Standard output, a FIFO or a device
// is written directly, as a stream.
#pragma once

#include <string>

namespace tolvek {

struct OutputTarget {
    std::string shownName;  // for messages
    std::string finalPath;  // symbolic links resolved; empty for a stream
    std::string tempPath;   // empty for a stream
    int fd = -1;
    bool stream = false;  // cannot seek: the WAV header is written first, once
};

// True when both names exist and are the same file (device and inode),
// however they are reached.
bool sameFile(const std::string& a, const std::string& b);

// Removes every temporary file still open when SIGINT, SIGTERM or SIGHUP
// arrives, then ends the process by that signal.
void removeTemporariesOnSignals();

// Opens `path` ("-" = standard output) for writing; false with `error` set.
bool openOutput(const std::string& path, OutputTarget& target, std::string& error);

// Renames the finished temporary file over the final name; false with `error`
// set (and the temporary removed) when that fails.
bool commitOutput(OutputTarget& target, std::string& error);

// Closes and, unless committed, removes the temporary file.
void discardOutput(OutputTarget& target);

}  // namespace tolvek
