#include "games/patching/FileByteSource.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

FileByteSource::~FileByteSource() {
    Close();
}

int FileByteSource::Open(const std::string& path, bool followLinks) {
    Close();
    int f = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY | (followLinks ? 0 : O_NOFOLLOW));
    if (f < 0)
        return errno;
    struct stat st {};
    if (::fstat(f, &st) != 0) {
        int error = errno;
        ::close(f);
        return error;
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(f);
        return S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    }
    fd = f;
    size = static_cast<uint64_t>(st.st_size);
    return 0;
}

void FileByteSource::Close() {
    if (fd >= 0)
        ::close(fd);
    fd = -1;
    size = 0;
}

bool FileByteSource::ReadAt(uint64_t offset, void* buffer, size_t count) {
    lastError = 0;
    if (fd < 0 || offset > size || count > size - offset)
        return false;
    auto* out = static_cast<char*>(buffer);
    while (count > 0) {
        ssize_t n = ::pread(fd, out, count, static_cast<off_t>(offset));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            lastError = errno;
            return false;
        }
        if (n == 0)
            return false;  // the file shrank under us
        out += n;
        offset += static_cast<uint64_t>(n);
        count -= static_cast<size_t>(n);
    }
    return true;
}
