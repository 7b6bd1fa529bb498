#include "platform/MountWatch.h"

#include <fcntl.h>
#include <linux/magic.h>
#include <poll.h>
#include <sys/vfs.h>
#include <unistd.h>

MountWatch::MountWatch(const std::string& mountsFile) {
    fd = ::open(mountsFile.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    struct statfs fs {};
    if (fd >= 0 && (::fstatfs(fd, &fs) != 0 || fs.f_type != PROC_SUPER_MAGIC)) {
        ::close(fd);
        fd = -1;
    }
}

MountWatch::~MountWatch() {
    if (fd >= 0)
        ::close(fd);
}

bool MountWatch::Changed() {
    if (fd < 0)
        return true;
    // The open took the table's state; each poll that reports a change takes
    // the new one, so a change is reported once.
    pollfd p{fd, POLLPRI, 0};
    int n = ::poll(&p, 1, 0);
    bool changed = n != 0 && (n < 0 || (p.revents & (POLLPRI | POLLERR | POLLNVAL)) != 0);
    if (first) {
        first = false;
        return true;
    }
    return changed;
}
