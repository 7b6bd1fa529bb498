#include "platform/DurableFiles.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/PathParts.h"

namespace platform {

namespace {

template <typename Call>
int Retried(Call call) {
    int r;
    do
        r = call();
    while (r != 0 && errno == EINTR);
    return r == 0 ? 0 : errno;
}

}  // namespace

int SyncFile(int fd) {
    return Retried([fd] { return ::fsync(fd); });
}

int SyncFileData(int fd) {
    return Retried([fd] { return ::fdatasync(fd); });
}

int SyncFolder(const std::string& folder) {
    int dir = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0)
        return errno;
    int error = SyncFile(dir);
    ::close(dir);
    // EINVAL: a file system that cannot sync folders (some FUSE ones); nothing more can be done there.
    return error == EINVAL ? 0 : error;
}

int SyncFolderOf(const std::string& path) {
    return SyncFolder(FolderOf(path, "."));
}

bool MakeFolders(const std::string& path, unsigned mode) {
    if (path.empty())
        return false;
    std::string partial;
    size_t pos = 0;
    while (pos != std::string::npos) {
        pos = path.find('/', pos + 1);
        partial = path.substr(0, pos);
        if (partial.empty() || partial.back() == '/')
            continue;
        if (::mkdir(partial.c_str(), mode) == 0) {
            // The new name lives in its parent: durable only once the parent is synced.
            if (SyncFolderOf(partial) != 0)
                return false;
        } else if (errno != EEXIST) {
            return false;
        }
    }
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace platform
