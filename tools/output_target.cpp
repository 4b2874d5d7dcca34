#include "output_target.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>

namespace tolvek {

namespace {

// The temporary files a signal handler must remove: fixed storage, written
// before the slot is marked used, so the handler reads whole names.
constexpr int maxTemporaries = 4;
char temporaryNames[maxTemporaries][PATH_MAX];
std::atomic<bool> temporaryUsed[maxTemporaries];

void onSignal(int signal) {
    for (int i = 0; i < maxTemporaries; ++i)
        if (temporaryUsed[i].load()) ::unlink(temporaryNames[i]);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

void registerTemporary(const std::string& path) {
    for (int i = 0; i < maxTemporaries; ++i)
        if (!temporaryUsed[i].load() && path.size() < PATH_MAX) {
            std::memcpy(temporaryNames[i], path.c_str(), path.size() + 1);
            temporaryUsed[i].store(true);
            return;
        }
}

void unregisterTemporary(const std::string& path) {
    for (int i = 0; i < maxTemporaries; ++i)
        if (temporaryUsed[i].load() && path == temporaryNames[i]) temporaryUsed[i].store(false);
}

std::string systemError() { return std::strerror(errno); }

// `path` with every symbolic link along it followed, even to a file that
// does not exist yet; `path` itself when a link cannot be read.
std::string followLinks(std::string path) {
    for (int hops = 0; hops < 40; ++hops) {
        char target[PATH_MAX];
        const ssize_t n = ::readlink(path.c_str(), target, sizeof target - 1);
        if (n < 0) break;
        target[n] = '\0';
        const size_t slash = path.rfind('/');
        path =
            target[0] == '/' || slash == std::string::npos ? std::string(target) : path.substr(0, slash + 1) + target;
    }
    return path;
}

}  // namespace

bool sameFile(const std::string& a, const std::string& b) {
    struct stat sa, sb;
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

void removeTemporariesOnSignals() {
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) std::signal(signal, onSignal);
}

bool openOutput(const std::string& path, OutputTarget& target, std::string& error) {
    target = {};
    target.shownName = path == "-" ? "standard output" : path;
    if (path == "-") {
        target.fd = ::dup(STDOUT_FILENO);
        target.stream = true;
    } else if (struct stat st; ::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        target.fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);  // a FIFO, a device: written as it is
        target.stream = true;
    } else {
        target.finalPath = followLinks(path);
        const size_t slash = target.finalPath.rfind('/');
        const std::string dir = slash == std::string::npos ? "" : target.finalPath.substr(0, slash + 1);
        const std::string base = target.finalPath.substr(dir.size());
        std::string name = dir + "." + base + ".XXXXXX.part";
        // A signal between making the file and noting its name would leave it.
        sigset_t signals, before;
        sigemptyset(&signals);
        for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&signals, signal);
        ::sigprocmask(SIG_BLOCK, &signals, &before);
        target.fd = ::mkstemps(name.data(), 5);
        if (target.fd >= 0) registerTemporary(name);
        ::sigprocmask(SIG_SETMASK, &before, nullptr);
        if (target.fd >= 0) {
            target.tempPath = name;
            // The permissions a newly created file would get, or the old file's.
            const mode_t mask = ::umask(0);
            ::umask(mask);
            struct stat old;
            ::fchmod(target.fd, ::stat(target.finalPath.c_str(), &old) == 0 ? old.st_mode & 07777 : 0666 & ~mask);
        }
    }
    if (target.fd < 0) {
        error = "cannot create " + target.shownName + ": " + systemError();
        return false;
    }
    return true;
}

bool commitOutput(OutputTarget& target, std::string& error) {
    if (target.stream) return true;
    if (::rename(target.tempPath.c_str(), target.finalPath.c_str()) != 0) {
        error = "cannot create " + target.shownName + ": " + systemError();
        discardOutput(target);
        return false;
    }
    unregisterTemporary(target.tempPath);
    target.tempPath.clear();
    return true;
}

void discardOutput(OutputTarget& target) {
    if (!target.tempPath.empty()) {
        ::unlink(target.tempPath.c_str());
        unregisterTemporary(target.tempPath);
        target.tempPath.clear();
    }
}

}  // namespace tolvek
