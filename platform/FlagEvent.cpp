#include "platform/FlagEvent.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

bool FlagEvent::Create() {
    Reset();
    return !path.empty();
}

bool FlagEvent::Set() {
    if (path.empty())
        return false;
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}

void FlagEvent::Reset() {
    if (!path.empty())
        ::unlink(path.c_str());
}

bool FlagEvent::IsSet() const {
    struct stat st {};
    return !path.empty() && ::lstat(path.c_str(), &st) == 0;
}

}  // namespace platform
