#include "platform/AtomicFile.h"

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/DurableFiles.h"
#include "platform/LeftoverFiles.h"
#include "platform/PathParts.h"

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

namespace {

constexpr const char* kTemporaryKind = "tmp";
// A name may be taken by a leftover of an earlier process that had this one's
// id; so many others are tried before giving up.
constexpr int kTemporaryNameTries = 64;

// Writes the bytes to a new temporary file beside path and fsyncs it; 0 with its name.
int WriteTemporary(const std::string& path, const std::string& bytes, unsigned mode, std::string& temp) {
    static std::atomic<unsigned> counter{0};
    RemoveStaleTemporaries(path);
    int fd = -1;
    for (int tries = 0; fd < 0 && tries < kTemporaryNameTries; ++tries) {
        temp = path + "." + kTemporaryKind + "-" + std::to_string(getpid()) + "-" + std::to_string(counter++);
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd < 0 && errno != EEXIST)
            return errno;
    }
    if (fd < 0)
        return EEXIST;
    int error = WriteDescriptor(fd, bytes.data(), bytes.size());
    if (error == 0)
        error = SyncFile(fd);
    if (::close(fd) != 0 && error == 0)
        error = errno;
    if (error != 0)
        ::unlink(temp.c_str());
    return error;
}

}  // namespace

void RemoveStaleTemporaries(const std::string& path) {
    const std::string name = BaseName(path);
    RemoveLeftovers(FolderOf(path, ""), [&](const LeftoverFile& file, const std::string&) {
        return file.kind == kTemporaryKind && file.target == name;
    });
}

int WriteFileAtomically(const std::string& path, const std::string& bytes, unsigned mode) {
    std::string temp;
    if (int error = WriteTemporary(path, bytes, mode, temp); error != 0)
        return error;
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        int error = errno;
        ::unlink(temp.c_str());
        return error;
    }
    // The new name is in place; what the caller records next relies on it.
    return SyncFolderOf(path);
}

int CreateFileOnce(const std::string& path, const std::string& bytes, unsigned mode) {
    std::string temp;
    if (int error = WriteTemporary(path, bytes, mode, temp); error != 0)
        return error;
    // link() never replaces: when another process got there first, its file stands.
    int result = ::link(temp.c_str(), path.c_str()) == 0 ? 0 : errno;
    ::unlink(temp.c_str());
    if (result != 0 && result != EEXIST)
        return result;
    // Whoever linked the file, what the caller makes of it next relies on its name.
    if (int error = SyncFolderOf(path); error != 0)
        return error;
    return result;
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
