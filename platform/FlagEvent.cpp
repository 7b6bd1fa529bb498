#include "platform/FlagEvent.h"

#include <cerrno>
#include <cstdio>
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
    if (!path.empty() && ::unlink(path.c_str()) != 0 && errno == EISDIR)
        ::rmdir(path.c_str());
}

bool FlagEvent::IsSet() const {
    struct stat st {};
    if (path.empty() || ::lstat(path.c_str(), &st) != 0)
        return false;
    if (S_ISREG(st.st_mode))
        return true;
    int removed = S_ISDIR(st.st_mode) ? ::rmdir(path.c_str()) : ::unlink(path.c_str());
    if (removed != 0 && !reportedStray) {
        reportedStray = true;
        std::fprintf(stderr, "Quor: \"%s\" is not a regular file and cannot be removed; it is ignored\n",
                     path.c_str());
    }
    return false;
}

}  // namespace platform
