#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

// The space a download leaves free on its disk for the rest of the system.
inline constexpr uint64_t kFreeSpaceReserveBytes = 64ull << 20;

// The three byte counts of the file system that holds a folder.
struct DiskFreeBytes {
    uint64_t freeForUser = 0;  // what an unprivileged writer may still use
    uint64_t total = 0;
    uint64_t totalFree = 0;
};

// statvfs of the path; nullopt when it cannot be queried.
std::optional<DiskFreeBytes> GetDiskFreeBytes(const std::string& path);

// How a writer asks; tests put a fake in its place.
using FreeSpaceQuery = std::function<std::optional<DiskFreeBytes>(const std::string& folder)>;
