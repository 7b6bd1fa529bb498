#include "platform/AtomicFile.h"

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/DurableFiles.h"

namespace platform {

int WriteDescriptor(int fd, const void* data, size_t size) {
    const char* bytes = static_cast<const char*>(data);
    size_t done = 0;
    while (done < size) {
        ssize_t n = ::write(fd, bytes + done, size - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        done += static_cast<size_t>(n);
    }
    return 0;
}

int WriteFileAtomically(const std::string& path, const std::string& bytes, unsigned mode) {
    static std::atomic<unsigned> counter{0};
    std::string temp = path + ".tmp-" + std::to_string(getpid()) + "-" + std::to_string(counter++);
    int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd < 0)
        return errno;
    int error = WriteDescriptor(fd, bytes.data(), bytes.size());
    if (error == 0)
        error = SyncFile(fd);
    if (::close(fd) != 0 && error == 0)
        error = errno;
    if (error == 0 && ::rename(temp.c_str(), path.c_str()) != 0)
        error = errno;
    if (error != 0) {
        ::unlink(temp.c_str());
        return error;
    }
    // The new name is in place; what the caller records next relies on it.
    return SyncFolderOf(path);
}

bool ReadWholeFile(const std::string& path, std::string& bytes) {
    bytes.clear();
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return false;
    }
    bool ok = ReadDescriptor(fd, bytes);
    ::close(fd);
    return ok;
}

bool ReadDescriptor(int fd, std::string& bytes) {
    bytes.clear();
    char buffer[65536];
    for (;;) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            bytes.clear();
            return false;
        }
        if (n == 0)
            return true;
        bytes.append(buffer, static_cast<size_t>(n));
    }
}

}  // namespace platform
