#include "platform/RotationalDisk.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <fstream>

namespace platform {

namespace {

// 1 or 0 from a sysfs flag file, -1 when there is none.
int ReadFlag(const std::string& path) {
    std::ifstream in(path);
    int value = -1;
    if (!(in >> value))
        return -1;
    return value != 0 ? 1 : 0;
}

}  // namespace

bool IsOnRotationalDisk(const std::string& path, const std::string& sysRoot) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0)
        return false;
    const std::string device =
        sysRoot + "/dev/block/" + std::to_string(major(st.st_dev)) + ":" + std::to_string(minor(st.st_dev));
    int flag = ReadFlag(device + "/queue/rotational");
    if (flag < 0)  // a partition: the queue is its disk's, the folder above it
        flag = ReadFlag(device + "/../queue/rotational");
    return flag == 1;
}

}  // namespace platform
