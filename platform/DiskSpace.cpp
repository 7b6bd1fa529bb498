#include "platform/DiskSpace.h"

#include <sys/statvfs.h>

std::optional<DiskFreeBytes> GetDiskFreeBytes(const std::string& path) {
    struct statvfs st {};
    if (path.empty() || statvfs(path.c_str(), &st) != 0)
        return std::nullopt;
    DiskFreeBytes bytes;
    bytes.freeForUser = static_cast<uint64_t>(st.f_bavail) * st.f_frsize;
    bytes.total = static_cast<uint64_t>(st.f_blocks) * st.f_frsize;
    bytes.totalFree = static_cast<uint64_t>(st.f_bfree) * st.f_frsize;
    return bytes;
}
