#include "games/install/InstallRepair.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <optional>
#include <set>
#include <thread>
#include <unordered_set>
#include <utility>
#include <vector>

#include "core/net/HttpRequest.h"
#include "core/system/ProgramLauncher.h"
#include "core/text/StringUtils.h"
#include "games/downloads/StaleFetchFiles.h"
#include "games/install/ChecksumReaders.h"
#include "games/patching/FileChecksum.h"
#include "games/patching/FolderListings.h"
#include "games/patching/PathResolver.h"
#include "platform/DurableFiles.h"
#include "platform/Log.h"
#include "platform/PathParts.h"
#include "platform/RotationalDisk.h"
#include "platform/SafePath.h"

namespace {

constexpr long kManifestConnectTimeoutSeconds = 3;
// Beyond a few parallel reads a solid-state disk gives no more.
constexpr unsigned kMaxReaders = 8;

bool IsFolder(const std::string& path) {
    struct stat st {};
    return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// A program runs for whoever may read it.
mode_t WithExecuteBits(mode_t mode) {
    return mode | ((mode & 0444) >> 2);
}

}  // namespace

InstallRepair::InstallRepair(std::string folder, std::string manifestUrl, std::string baseUrl)
    : Thread("install check"),
      installFolder(std::move(folder)),
      installManifestUrl(std::move(manifestUrl)),
      fileBaseUrl(std::move(baseUrl)) {}

InstallRepair::~InstallRepair() {
    Stop();
}

float InstallRepair::GetProgress() {
    std::lock_guard<std::mutex> guard(lock);
    return progress;
}

std::string InstallRepair::GetCurrentFile() {
    std::lock_guard<std::mutex> guard(lock);
    return ReplaceAll(currentFile, "\\", "/");
}

std::function<bool()> InstallRepair::Stopping() const {
    // A stop (the owner going away) ends a fetch under way instead of waiting for it.
    return [this] { return IsStopRequested(); };
}

void InstallRepair::SetProgress(float value) {
    std::lock_guard<std::mutex> guard(lock);
    progress = value;
}

void InstallRepair::SetReaders(unsigned count) {
    readerCount = count;
}

unsigned InstallRepair::CheckReaders() const {
    if (readerCount != 0)
        return readerCount;
    // On a spinning disk parallel reads only make its head seek between files.
    if (platform::IsOnRotationalDisk(installFolder))
        return 1;
    return std::clamp(std::thread::hardware_concurrency(), 1u, kMaxReaders);
}

void InstallRepair::Run() {
    // Without an install folder there is nothing to check, and nothing may be
    // written relative to the working folder.
    if (IsFolder(installFolder))
        Check(ParseInstallManifest(
            HttpGetToString(installManifestUrl, kManifestConnectTimeoutSeconds, BodyKind::Document, 0, Stopping())));
    SetProgress(1.0f);
    MarkStopped();
}

void InstallRepair::Check(const std::vector<InstallManifestLine>& lines) {
    const size_t n = lines.size();
    const std::optional<std::string> root = platform::SafeJoin(installFolder, "");
    // A line that would leave the install folder, or names the folder itself, is
    // skipped: it gets no path to read.
    std::vector<std::string> joined(n);
    std::unordered_set<std::string> listed;  // every listed path named like a leftover, in any case
    for (size_t i = 0; i < n; ++i) {
        std::optional<std::string> local = platform::SafeJoin(installFolder, lines[i].path);
        if (local && local != root) {
            joined[i] = *local;
            std::string folded = LowerAscii(*local);
            long pid = 0;
            if (StaleFetchFiles::Matches(platform::BaseName(folded), pid))
                listed.insert(std::move(folded));
        }
    }
    // What a fetch cut off by a crash left beside a file; never outside the
    // install folder, and never a file the manifest lists.
    StaleFetchFiles leftovers([&listed](const std::string& path) { return listed.count(LowerAscii(path)) != 0; },
                              [this](const std::string& folder) { return StaysInside(installFolder, folder); });
    // The case of each name is resolved where the file is read: by the readers
    // ahead, and again here when a repair may have changed the answer.
    FolderListings listings;
    auto resolve = [this, &listings](const std::string& path) {
        return ResolveExistingCase(installFolder, path, &listings);
    };
    // The files are read ahead by the readers; the check itself, its repairs
    // and its progress go one line after the other in the manifest's order.
    ChecksumReaders readers(joined, CheckReaders(), Stopping(), resolve);
    // The files this check has replaced, by device and inode, as they were read.
    std::set<std::pair<uint64_t, uint64_t>> replaced;
    size_t repairs = 0;
    for (size_t i = 0; i < n && !IsStopRequested(); ++i) {
        const InstallManifestLine& line = lines[i];
        {
            std::lock_guard<std::mutex> guard(lock);
            currentFile = line.path;
        }
        if (!joined[i].empty()) {
            std::optional<ChecksumReaders::Result> read = readers.Wait(i);
            if (!read)
                break;
            // Read before a repair that may have changed what it found: a file
            // replaced since (the same file named twice, or a link to it), or a
            // file missing then that a repair may have created (in any case).
            const bool outdated =
                read->error == 0 ? replaced.count({read->facts.device, read->facts.inode}) != 0 : repairs > 0;
            if (outdated)
                read = ChecksumReaders::ReadOne(joined[i], resolve, Stopping());
            if (IsStopRequested())
                break;
            leftovers.RemoveIn(platform::FolderOf(read->path, "/"));
            if (read->error != 0 || read->crc != line.checksum) {
                if (RepairFile(read->path, line)) {
                    ++repairs;
                    if (read->error == 0)
                        replaced.insert({read->facts.device, read->facts.inode});
                    listings.Added(read->path);
                }
            } else {
                RestoreExecuteBits(read->path, read->facts);
            }
        }
        SetProgress(static_cast<float>(i + 1) / static_cast<float>(n));
    }
}

std::string InstallRepair::FileUrl(const std::string& relativePath) const {
    std::string part = ReplaceAll(ReplaceAll(relativePath, " ", "%20"), "\\", "/");
    std::string base = fileBaseUrl;
    if (!base.empty() && base.back() == '/')
        base.pop_back();
    if (!base.empty() && (part.empty() || part[0] != '/'))
        part.insert(part.begin(), '/');
    return base + part;
}

bool InstallRepair::RepairFile(const std::string& localPath, const InstallManifestLine& line) {
    // The line was joined as text; a link in the install folder that leads out
    // of it must not carry a folder, a file or a rename along.
    auto inside = [this](const std::string& folder) { return StaysInside(installFolder, folder); };
    if (!inside(platform::FolderOf(localPath, "/"))) {
        Log::Warning("repair of %s refused: it leads out of the install folder", localPath.c_str());
        return false;
    }
    uint32_t crc = 0;
    std::string head;
    FileFetchHooks hooks;
    hooks.mayWriteIn = inside;
    hooks.received = [&](const char* data, size_t size) {
        crc = Crc32Update(crc, data, size);
        if (head.size() < FileReadFacts::kHeadBytes)
            head.append(data, std::min(size, FileReadFacts::kHeadBytes - head.size()));
    };
    hooks.complete = [&](int fd) {
        if (line.hasChecksum && crc != line.checksum)
            return false;
        // The mode of the file replaced (a link lends nothing of what it points
        // at); a new file keeps the umask's.
        struct stat st {};
        if (::lstat(localPath.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
            if (::fstat(fd, &st) != 0)
                return false;
        }
        mode_t mode = st.st_mode & 07777;
        if (IsNativeProgramStart(head))
            mode = WithExecuteBits(mode);
        return ::fchmod(fd, mode) == 0;
    };
    return DownloadUrlToFile(FileUrl(line.path), localPath, 30, BodyKind::GameFile, Stopping(), hooks);
}

void InstallRepair::RestoreExecuteBits(const std::string& localPath, const FileReadFacts& read) const {
    if ((read.mode & S_IXUSR) != 0 || !IsNativeProgramStart(read.head))
        return;
    // Never through a link, nor in a folder a link leads out to: the file must
    // be the game's own, and the one that was read.
    if (!StaysInside(installFolder, platform::FolderOf(localPath, "/")))
        return;
    int fd = ::open(localPath.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_dev == read.device && st.st_ino == read.inode &&
        ::fchmod(fd, WithExecuteBits(st.st_mode & 07777)) == 0)
        platform::SyncFile(fd);  // the mode is the file's metadata: no folder changes
    ::close(fd);
}
