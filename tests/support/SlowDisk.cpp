#include "SlowDisk.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>

#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

namespace {

std::atomic<int> delayMs{0};
std::atomic<int> calls{0};
std::mutex failMutex;
std::string failMarker;
int failError = 0;

using Sync = int (*)(int);

// Whether the file behind `fd` begins with the marker; read through a
// descriptor of its own, so a file open for writing only is read too.
bool marked(int fd, const std::string& marker) {
    char path[64];
    std::snprintf(path, sizeof path, "/proc/self/fd/%d", fd);
    const int probe = ::open(path, O_RDONLY | O_CLOEXEC);
    if (probe < 0)
        return false;
    std::string head(marker.size(), '\0');
    const ssize_t got = ::pread(probe, head.data(), head.size(), 0);
    ::close(probe);
    return got == ssize_t(marker.size()) && head == marker;
}

int shim(int fd, Sync real) {
    ++calls;
    if (const int ms = delayMs.load())
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    std::string marker;
    int error = 0;
    {
        std::lock_guard lock(failMutex);
        marker = failMarker;
        error = failError;
    }
    if (!marker.empty() && marked(fd, marker)) {
        errno = error;
        return -1;
    }
    return real(fd);
}

} // namespace

extern "C" {

int fsync(int fd) {
    static const Sync real = reinterpret_cast<Sync>(::dlsym(RTLD_NEXT, "fsync"));
    return shim(fd, real);
}

int fdatasync(int fd) {
    static const Sync real = reinterpret_cast<Sync>(::dlsym(RTLD_NEXT, "fdatasync"));
    return shim(fd, real);
}

void mirodex_slowdisk_delay(int ms) {
    delayMs.store(ms);
}

void mirodex_slowdisk_fail(const char* marker, int error) {
    std::lock_guard lock(failMutex);
    failMarker = marker ? marker : "";
    failError = error;
}

int mirodex_slowdisk_calls() {
    return calls.load();
}

} // extern "C"
