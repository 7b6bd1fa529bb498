#include "games/downloads/DownloadLock.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>

namespace {

bool WriteAll(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// Makes the file with its content in place; false when it exists already or
// cannot be made.
bool CreateExclusively(const std::string& path, const std::string& content) {
    static std::atomic<unsigned> counter{0};
    // Written beside it and linked into place, so that nobody ever reads a lock
    // that exists but is still empty.
    std::string temp = path + ".new-" + std::to_string(getpid()) + "-" + std::to_string(counter++);
    int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd >= 0) {
        bool written = WriteAll(fd, content);
        close(fd);
        if (written) {
            int rc = link(temp.c_str(), path.c_str());
            int error = errno;
            unlink(temp.c_str());
            if (rc == 0)
                return true;
            if (error == EEXIST)
                return false;
            // A file system without hard links: plain exclusive creation below.
        } else {
            unlink(temp.c_str());
        }
    }
    fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    WriteAll(fd, content);
    close(fd);
    return true;
}

}  // namespace

DownloadLock::Result DownloadLock::Take(const std::string& folder, const std::string& userName) {
    std::string path = folder + kFileName;
    if (CreateExclusively(path, userName))
        return Result::Owned;
    FILE* file = std::fopen(path.c_str(), "rbe");
    if (!file)
        return Result::Owned;
    char line[255];
    bool read = std::fgets(line, sizeof line, file) != nullptr;
    std::fclose(file);
    if (read && line[0] != '\0' && userName != line)
        return Result::OtherUser;
    return Result::Owned;
}
