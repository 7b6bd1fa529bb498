#pragma once
#include <string>

// Tells when a mount table may have changed, so that a search over it re-reads
// it only then. The kernel's table (/proc/<pid>/mounts) signals a mount or an
// unmount to poll() as POLLPRI|POLLERR; any other file cannot signal and counts
// as changed every time.
class MountWatch {
public:
    explicit MountWatch(const std::string& mountsFile);
    ~MountWatch();
    MountWatch(const MountWatch&) = delete;
    MountWatch& operator=(const MountWatch&) = delete;

    // True on the first call, and afterwards when the table changed since the
    // previous call (or cannot tell).
    bool Changed();

private:
    int fd = -1;  // open only for a table that signals
    bool first = true;
};
