#pragma once

// A shim a test program links ahead of the C library: its fsync and fdatasync
// stand in for the system's, so a test can make the disk slow, or make the
// write-back of one file fail as only fsync reports it (EIO, ENOSPC). Until
// told otherwise it passes every call straight on.
extern "C" {
// Every fsync and fdatasync first waits `ms` (0: no wait).
void mirodex_slowdisk_delay(int ms);
// fsync and fdatasync of a file whose bytes begin with `marker` fail with
// `error` and sync nothing; nullptr: none fail.
void mirodex_slowdisk_fail(const char* marker, int error);
// How many fsync and fdatasync calls came so far, from any thread.
int mirodex_slowdisk_calls();
}

namespace SlowDisk {
// The disk is healthy again when this goes.
struct Healthy {
    Healthy() = default;
    Healthy(const Healthy&) = delete;
    Healthy& operator=(const Healthy&) = delete;
    ~Healthy() {
        mirodex_slowdisk_delay(0);
        mirodex_slowdisk_fail(nullptr, 0);
    }
};
} // namespace SlowDisk
