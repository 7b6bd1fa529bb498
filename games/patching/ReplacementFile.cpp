#include "games/patching/ReplacementFile.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

#include "core/threads/StartThread.h"
#include "games/patching/FileChecksum.h"
#include "platform/AtomicFile.h"
#include "platform/DurableFiles.h"
#include "platform/PathParts.h"

namespace {

constexpr size_t kBufferSize = 1024 * 1024;
constexpr const char kPrefix[] = ".quorpatch-";
constexpr size_t kPrefixLength = sizeof kPrefix - 1;
constexpr size_t kSuffixLength = 6;
constexpr const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";

std::string RandomSuffix() {
    static std::atomic<uint64_t> counter{0};
    thread_local std::mt19937_64 generator(
        std::random_device{}() ^ static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
        (counter.fetch_add(1) << 32));
    std::string suffix(kSuffixLength, 'a');
    for (char& c : suffix)
        c = kLetters[generator() % (sizeof kLetters - 1)];
    return suffix;
}

}  // namespace

ReplacementFile::ReplacementFile(std::string targetPath)
    : target(std::move(targetPath)), folder(platform::FolderOf(target, ".")) {}

ReplacementFile::~ReplacementFile() {
    Discard();
}

int ReplacementFile::Open() {
    Discard();
    error = 0;
    crc = 0;
    written = 0;
    buffered = 0;
    writerError = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = folder + "/" + kPrefix + RandomSuffix();
        // Created with the usual 0666 less the umask; Commit gives it the old
        // file's mode where there is one.
        fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
        if (fd >= 0) {
            temporary = name;
            if (!buffers[0])
                buffers[0].reset(new unsigned char[kBufferSize]);
            return 0;
        }
        if (errno != EEXIST) {
            error = errno;
            return error;
        }
    }
    error = EEXIST;
    return error;
}

void ReplacementFile::WriterLoop() {
    std::unique_lock<std::mutex> guard(lock);
    for (;;) {
        wake.wait(guard, [this] { return pending != nullptr || quit; });
        if (!pending)
            return;
        const unsigned char* data = pending;
        size_t size = pendingSize;
        guard.unlock();
        int e = writerError == 0 ? platform::WriteDescriptor(fd, data, size) : 0;
        guard.lock();
        if (e != 0)
            writerError = e;
        pending = nullptr;
        wake.notify_all();
    }
}

void ReplacementFile::Drain() {
    std::unique_lock<std::mutex> guard(lock);
    wake.wait(guard, [this] { return pending == nullptr; });
    if (writerError != 0 && error == 0)
        error = writerError;
}

void ReplacementFile::StopWriter() {
    if (!writer.joinable())
        return;
    Drain();
    {
        std::lock_guard<std::mutex> guard(lock);
        quit = true;
    }
    wake.notify_all();
    writer.join();
    quit = false;
}

bool ReplacementFile::Submit() {
    Drain();
    if (error != 0)
        return false;
    if (!writer.joinable()) {
        try {
            if (!buffers[1])
                buffers[1].reset(new unsigned char[kBufferSize]);
            writer = StartThread("patch writer", [this] { WriterLoop(); });
        } catch (const std::exception&) {
            // No second thread: write here.
            error = platform::WriteDescriptor(fd, buffers[active].get(), buffered);
            buffered = 0;
            return error == 0;
        }
    }
    {
        std::lock_guard<std::mutex> guard(lock);
        pending = buffers[active].get();
        pendingSize = buffered;
    }
    wake.notify_all();
    active ^= 1;
    buffered = 0;
    return true;
}

bool ReplacementFile::Flush() {
    Drain();
    if (error == 0 && buffered > 0)
        error = platform::WriteDescriptor(fd, buffers[active].get(), buffered);
    buffered = 0;
    StopWriter();
    return error == 0;
}

bool ReplacementFile::Write(const void* data, size_t size) {
    if (fd < 0 || error != 0)
        return false;
    crc = Crc32Update(crc, data, size);
    written += size;
    const auto* bytes = static_cast<const unsigned char*>(data);
    while (size > 0) {
        size_t n = std::min(size, kBufferSize - buffered);
        std::memcpy(buffers[active].get() + buffered, bytes, n);
        buffered += n;
        bytes += n;
        size -= n;
        if (buffered == kBufferSize && !Submit())
            return false;
    }
    return true;
}

int ReplacementFile::Commit() {
    if (fd < 0)
        return error != 0 ? error : EBADF;
    Flush();
    // The mode of the file being replaced; a link is replaced, not followed, so
    // what it points at lends nothing.
    struct stat old {};
    if (error == 0 && ::lstat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode) &&
        ::fchmod(fd, old.st_mode & 07777) != 0)
        error = errno;
    if (error == 0)
        error = platform::SyncFile(fd);  // the data and the mode, before the rename publishes them
    if (::close(fd) != 0 && error == 0)
        error = errno;
    fd = -1;
    if (error == 0 && ::rename(temporary.c_str(), target.c_str()) != 0)
        error = errno;
    if (error != 0) {
        ::unlink(temporary.c_str());
        temporary.clear();
        return error;
    }
    temporary.clear();
    platform::SyncFolder(folder);
    return 0;
}

void ReplacementFile::Discard() {
    StopWriter();  // it may be writing to fd
    if (fd >= 0)
        ::close(fd);
    fd = -1;
    if (!temporary.empty())
        ::unlink(temporary.c_str());
    temporary.clear();
}

bool ReplacementFile::IsTemporaryName(const std::string& name) {
    if (name.size() != kPrefixLength + kSuffixLength || name.compare(0, kPrefixLength, kPrefix) != 0)
        return false;
    for (size_t i = kPrefixLength; i < name.size(); ++i)
        if (!std::strchr(kLetters, name[i]) || name[i] == '\0')
            return false;
    return true;
}

void ReplacementFile::RemoveLeftovers(const std::string& folder) {
    int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0)
        return;
    DIR* listing = ::fdopendir(dir);
    if (!listing) {
        ::close(dir);
        return;
    }
    bool removed = false;
    while (dirent* e = ::readdir(listing)) {
        if (IsTemporaryName(e->d_name) && ::unlinkat(dir, e->d_name, 0) == 0)
            removed = true;
    }
    if (removed)
        platform::SyncFile(dir);
    ::closedir(listing);
}
