#include "platform/FlagEvent.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/AtomicFile.h"
#include "platform/Log.h"

namespace platform {

namespace {

// Removes what is in the flag's place when it is not a regular file (a link of
// any kind is removed itself, never followed). False when something stays there;
// wasFlag tells whether the flag itself is there.
bool ClearStray(const std::string& path, bool& wasFlag) {
    wasFlag = false;
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0)
        return true;  // nothing there that could be seen, nor removed
    if (S_ISREG(st.st_mode)) {
        wasFlag = true;
        return true;
    }
    int removed = S_ISDIR(st.st_mode) ? ::rmdir(path.c_str()) : ::unlink(path.c_str());
    return removed == 0 || errno == ENOENT;
}

}  // namespace

bool FlagEvent::Create() {
    Reset();
    return !path.empty();
}

bool FlagEvent::Set() {
    if (path.empty())
        return false;
    // Something put in the flag's place again between the clearing and the open
    // is cleared once more.
    for (int tries = 0; tries < 3; ++tries) {
        bool wasFlag = false;
        if (!ClearStray(path, wasFlag))
            return ReportStray();
        if (wasFlag)
            return true;  // already signalled; its text stays
        // O_NOFOLLOW and O_NONBLOCK: a link or a FIFO that appeared meanwhile is not
        // written through nor waited on.
        int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
        if (fd >= 0) {
            ::close(fd);
            return true;
        }
        if (errno != ELOOP && errno != ENXIO && errno != EISDIR)
            return false;
    }
    return ReportStray();
}

bool FlagEvent::SetWithText(const std::string& text) {
    if (path.empty())
        return false;
    // The rename replaces a link or a FIFO; only a folder must go first.
    bool wasFlag = false;
    if (!ClearStray(path, wasFlag))
        return ReportStray();
    return WriteFileAtomically(path, text, 0600) == 0;
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
    bool wasFlag = false;
    if (path.empty())
        return false;
    if (!ClearStray(path, wasFlag))
        ReportStray();
    return wasFlag;
}

bool FlagEvent::ReportStray() const {
    if (!reportedStray) {
        reportedStray = true;
        Log::Warning("\"%s\" is not a regular file and cannot be removed; it is ignored", path.c_str());
    }
    return false;
}

}  // namespace platform
