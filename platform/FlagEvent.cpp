#include "platform/FlagEvent.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/AtomicFile.h"
#include "platform/Log.h"

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

bool FlagEvent::SetWithText(const std::string& text) {
    return !path.empty() && WriteFileAtomically(path, text, 0600) == 0;
}

std::string FlagEvent::Text() const {
    if (path.empty())
        return {};
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0)
        return {};
    std::string text;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        char buffer[kMaxTextBytes];
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0)
            text.assign(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    return text;
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
        Log::Warning("\"%s\" is not a regular file and cannot be removed; it is ignored", path.c_str());
    }
    return false;
}

}  // namespace platform
