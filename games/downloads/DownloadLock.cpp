#include "games/downloads/DownloadLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <optional>

#include "games/downloads/TransferSettings.h"
#include "platform/AtomicFile.h"
#include "platform/LeftoverFiles.h"
#include "platform/Log.h"

namespace {

enum class Made { Created, Exists, Failed };

// A new file beside `path` holding the content, synced: what a link or a rename
// then publishes. "" when it cannot be made. Those a killed start left are
// removed first.
std::string WriteBeside(const std::string& folder, const std::string& path, const std::string& content,
                        const TransferSettings& settings) {
    platform::RemoveLeftovers(folder, [](const platform::LeftoverFile& file, const std::string&) {
        return file.kind == "new" && file.target == DownloadLock::kFileName;
    });
    static std::atomic<unsigned> counter{0};
    std::string temp = path + ".new-" + std::to_string(getpid()) + "-" + std::to_string(counter++);
    int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0)
        return {};
    bool written = platform::WriteDescriptor(fd, content.data(), content.size()) == 0 && settings.SyncFile(fd);
    if (close(fd) != 0)
        written = false;
    if (!written) {
        unlink(temp.c_str());
        return {};
    }
    return temp;
}

// Makes the lock with its content in place: linked from beside it, so that
// nobody ever reads a lock that exists but is still empty.
Made CreateExclusively(const std::string& folder, const std::string& path, const std::string& content,
                       const TransferSettings& settings) {
    // Most starts find their lock: no file to write and sync for nothing.
    struct stat st {};
    if (lstat(path.c_str(), &st) == 0)
        return Made::Exists;
    std::string temp = WriteBeside(folder, path, content, settings);
    if (!temp.empty()) {
        int rc = link(temp.c_str(), path.c_str());
        int error = errno;
        unlink(temp.c_str());
        if (rc == 0) {
            if (!settings.SyncFolder(folder))
                Log::Warning("the download lock in \"%s\" may not survive a power cut", folder.c_str());
            return Made::Created;
        }
        if (error == EEXIST)
            return Made::Exists;
    }
    // A file system without hard links: an empty lock made exclusively, which
    // is then claimed like any empty lock.
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0)
        return errno == EEXIST ? Made::Exists : Made::Failed;
    close(fd);
    return Made::Exists;
}

// The first line as the lock test reads it: up to 254 characters, a line end
// included, and nothing from a zero byte on. nullopt when it cannot be read.
std::optional<std::string> FirstLine(int fd) {
    char buffer[254];
    size_t got = 0;
    while (got < sizeof buffer && !std::memchr(buffer, '\n', got)) {
        ssize_t n = read(fd, buffer + got, sizeof buffer - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return std::nullopt;
        if (n == 0)
            break;
        got += static_cast<size_t>(n);
    }
    std::string line(buffer, got);
    size_t end = line.find('\n');
    if (end != std::string::npos)
        line.resize(end + 1);
    return line.substr(0, line.find('\0'));
}

// Writes the user's name into the lock open at fd, which reads empty: a new file renamed
// over it, by one claimer at a time (each holds the empty file's flock) and only
// while the name still holds that empty file. Whoever comes second then finds
// the first one's name. The flock ends when the caller closes fd.
void Claim(int fd, const std::string& folder, const std::string& path, const std::string& userName,
           const TransferSettings& settings) {
    // Another claimer holds it for a sync or two; one that holds it longer
    // must not hang the start, which then takes the lock as it is.
    bool held = false;
    for (int attempt = 0; attempt < 100 && !held; ++attempt) {
        held = flock(fd, LOCK_EX | LOCK_NB) == 0;
        if (!held && errno != EWOULDBLOCK && errno != EINTR)
            return;
        if (!held)
            usleep(10000);
    }
    // Nobody writes a lock in place, so the same file under the name still reads empty.
    struct stat mine {
    }, now{};
    if (!held || fstat(fd, &mine) != 0 || lstat(path.c_str(), &now) != 0 || now.st_dev != mine.st_dev ||
        now.st_ino != mine.st_ino)
        return;
    std::string temp = WriteBeside(folder, path, userName, settings);
    if (temp.empty())
        return;
    if (rename(temp.c_str(), path.c_str()) != 0) {
        unlink(temp.c_str());
        return;
    }
    if (!settings.SyncFolder(folder))
        Log::Warning("the download lock in \"%s\" may not survive a power cut", folder.c_str());
}

}  // namespace

DownloadLock::Result DownloadLock::Take(const std::string& folder, const std::string& userName,
                                        const TransferSettings& settings) {
    std::string path = folder + kFileName;
    // A round ends, or sees the lock removed or claimed under it; a few suffice.
    for (int round = 0; round < 4; ++round) {
        Made made = CreateExclusively(folder, path, userName, settings);
        if (made == Made::Created)
            return Result::Owned;
        int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            if (errno == ELOOP)
                return Result::Unusable;
            if (errno == ENOENT && made == Made::Exists)
                continue;
            return Result::Owned;
        }
        struct stat st {};
        if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
            close(fd);
            return Result::Unusable;
        }
        std::optional<std::string> line = FirstLine(fd);
        if (!line || !line->empty()) {
            close(fd);
            return !line || *line == userName ? Result::Owned : Result::OtherUser;
        }
        Claim(fd, folder, path, userName, settings);
        close(fd);
    }
    return Result::Owned;
}
