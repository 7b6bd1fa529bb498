#include "games/install/InstallRepair.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <set>
#include <thread>
#include <vector>

#include "core/net/HttpRequest.h"
#include "core/text/StringUtils.h"
#include "games/downloads/StaleFetchFiles.h"
#include "games/install/ChecksumReaders.h"
#include "games/patching/FileChecksum.h"
#include "games/patching/PathResolver.h"
#include "platform/DurableFiles.h"
#include "platform/Log.h"
#include "platform/PathParts.h"
#include "platform/RotationalDisk.h"
#include "platform/SafePath.h"
#include "platform/XdgPaths.h"

namespace {

constexpr long kManifestConnectTimeoutSeconds = 3;
// Beyond a few parallel reads a solid-state disk gives no more.
constexpr unsigned kMaxReaders = 8;

bool IsFolder(const std::string& path) {
    struct stat st {};
    return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

void InstallRepair::RemoveStaleFetchFiles(const std::string& localPath, StaleFetchFiles& leftovers) const {
    // What a fetch cut off by a crash left beside the file; never outside.
    const std::string folder = platform::FolderOf(localPath, "/");
    if (StaysInside(installFolder, folder))
        leftovers.RemoveIn(folder);
}

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
    if (IsFolder(installFolder)) {
        std::vector<InstallManifestLine> lines = ParseInstallManifest(
            HttpGetToString(installManifestUrl, kManifestConnectTimeoutSeconds, BodyKind::Document, 0, Stopping()));
        const size_t n = lines.size();
        const std::optional<std::string> root = platform::SafeJoin(installFolder, "");
        StaleFetchFiles leftovers;
        // A line that would leave the install folder, or names the folder
        // itself, is skipped: it gets no path to read.
        std::vector<std::string> locals(n);
        for (size_t i = 0; i < n; ++i) {
            std::optional<std::string> local = platform::SafeJoin(installFolder, lines[i].path);
            if (local && local != root)
                locals[i] = *local;
        }
        // The files are read ahead by the readers; the check itself, its repairs
        // and its progress go one line after the other in the manifest's order.
        ChecksumReaders readers(locals, CheckReaders(), Stopping());
        std::set<std::string> repaired;
        for (size_t i = 0; i < n && !IsStopRequested(); ++i) {
            const InstallManifestLine& line = lines[i];
            {
                std::lock_guard<std::mutex> guard(lock);
                currentFile = line.path;
            }
            if (!locals[i].empty()) {
                RemoveStaleFetchFiles(locals[i], leftovers);
                std::optional<ChecksumReaders::Result> read = readers.Wait(i);
                if (!read)
                    break;
                uint32_t crc = read->crc;
                uint32_t error = read->error;
                // A file named twice and fetched again since its read ahead.
                if (repaired.count(locals[i]))
                    error = ComputeFileCrc32(locals[i], crc, Stopping());
                if (IsStopRequested())
                    break;
                if (error != 0 || crc != line.checksum) {
                    RepairFile(locals[i], line);
                    repaired.insert(locals[i]);
                }
            }
            SetProgress(static_cast<float>(i + 1) / static_cast<float>(n));
        }
    }
    SetProgress(1.0f);
    MarkStopped();
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
    const std::string folder = platform::FolderOf(localPath, "/");
    if (!inside(folder)) {
        Log::Warning("repair of %s refused: it leads out of the install folder", localPath.c_str());
        return true;
    }
    platform::MakeFolders(folder, 0755);
    static std::atomic<unsigned> counter{0};
    std::string temporary = localPath + ".repair-" + std::to_string(getpid()) + "-" + std::to_string(counter++);
    if (!DownloadUrlToFile(FileUrl(line.path), temporary, 30, BodyKind::GameFile, Stopping(), inside)) {
        unlink(temporary.c_str());
        return true;
    }
    uint32_t crc = 0;
    if (line.hasChecksum && (ComputeFileCrc32(temporary, crc) != 0 || crc != line.checksum)) {
        unlink(temporary.c_str());
        return true;
    }
    struct stat old {};
    if (stat(localPath.c_str(), &old) == 0)
        chmod(temporary.c_str(), old.st_mode & 07777);
    if (!inside(folder) || rename(temporary.c_str(), localPath.c_str()) != 0)
        unlink(temporary.c_str());
    return true;
}
