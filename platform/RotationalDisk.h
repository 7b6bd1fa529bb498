#pragma once
#include <string>

namespace platform {

// Whether the block device holding path spins (its queue's "rotational" flag in
// sysfs; a partition takes its disk's). False when that cannot be told (a
// network or in-memory file system, no sysfs): reading such a folder with
// several readers is the better guess.
bool IsOnRotationalDisk(const std::string& path, const std::string& sysRoot = "/sys");

}  // namespace platform
