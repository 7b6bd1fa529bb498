#include "games/patching/FileChecksum.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <libdeflate.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

uint32_t Crc32Update(uint32_t crc, const void* data, size_t size) {
    // libdeflate's CRC-32 uses the carry-less multiply instructions where the CPU
    // has them and gives exactly zlib's result.
    return libdeflate_crc32(crc, data, size);
}

uint32_t ComputeFileCrc32(const std::string& path, uint32_t& crc, const std::function<bool()>& stopping,
                          FileReadFacts* facts) {
    crc = 0;
    // Large blocks: at 4096 bytes a read costs more than the checksum of its bytes.
    // Allocated before the open, so that a failed allocation leaves no descriptor open.
    constexpr size_t kBlock = 128 * 1024;
    std::unique_ptr<unsigned char[]> buffer(new unsigned char[kBlock]);
    // O_NONBLOCK keeps a FIFO from blocking the open; it is refused below anyway.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return static_cast<uint32_t>(errno);
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        int error = errno;
        ::close(fd);
        return static_cast<uint32_t>(error);
    }
    if (facts) {
        facts->device = st.st_dev;
        facts->inode = st.st_ino;
        facts->mode = st.st_mode;
        facts->head.clear();
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        return S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    }
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    uint32_t sum = 0;
    for (;;) {
        if (stopping && stopping()) {
            ::close(fd);
            return ECANCELED;
        }
        ssize_t n = ::read(fd, buffer.get(), kBlock);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            int error = errno;
            ::close(fd);
            return static_cast<uint32_t>(error);
        }
        if (n == 0)
            break;
        if (facts && facts->head.size() < FileReadFacts::kHeadBytes)
            facts->head.append(reinterpret_cast<const char*>(buffer.get()),
                               std::min(static_cast<size_t>(n), FileReadFacts::kHeadBytes - facts->head.size()));
        sum = libdeflate_crc32(sum, buffer.get(), static_cast<size_t>(n));
    }
    ::close(fd);
    crc = sum;
    return 0;
}
