#include "games/patching/QuorPatcher.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

#include "core/text/MessageDisplay.h"
#include "core/text/Messages.h"
#include "games/patching/BinaryPatch.h"
#include "games/patching/FileByteSource.h"
#include "games/patching/FileChecksum.h"
#include "games/patching/LzmaAloneDecoder.h"
#include "games/patching/PatchFile.h"
#include "games/patching/PathResolver.h"
#include "games/patching/ReplacementFile.h"
#include "platform/DurableFiles.h"
#include "platform/Log.h"
#include "platform/PathParts.h"

namespace {

// Passes reads through and tells how far into the current entry they reached,
// so that progress moves inside a large entry too.
class CountingSource : public ByteSource {
public:
    CountingSource(ByteSource& inner, std::function<void(uint64_t)> onRead) : inner(inner), onRead(std::move(onRead)) {}
    uint64_t Size() const override { return inner.Size(); }
    bool ReadAt(uint64_t offset, void* buffer, size_t size) override {
        if (!inner.ReadAt(offset, buffer, size))
            return false;
        consumed += size;
        onRead(consumed);
        return true;
    }
    void Restart() { consumed = 0; }

private:
    ByteSource& inner;
    std::function<void(uint64_t)> onRead;
    uint64_t consumed = 0;
};

bool IsDirectory(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

void LogEntry(uint32_t index, const std::string& target, const char* what) {
    Log::Warning("patch entry %u (%s): %s", index, target.c_str(), what);
}

// The checksum of an opened file; false when a read fails.
bool SourceCrc32(FileByteSource& file, uint32_t& crc) {
    constexpr size_t kBlock = 128 * 1024;
    std::unique_ptr<unsigned char[]> buffer(new unsigned char[kBlock]);
    crc = 0;
    for (uint64_t at = 0; at < file.Size();) {
        size_t n = static_cast<size_t>(std::min<uint64_t>(kBlock, file.Size() - at));
        if (!file.ReadAt(at, buffer.get(), n))
            return false;
        crc = Crc32Update(crc, buffer.get(), n);
        at += n;
    }
    return true;
}

}  // namespace

QuorPatcher::QuorPatcher(std::string installFolder, std::string patchFilePath)
    : Thread("patch"), installFolder(std::move(installFolder)), patchFilePath(std::move(patchFilePath)) {
    SetRunOnce(true);
}

QuorPatcher::~QuorPatcher() {
    Stop();
}

float QuorPatcher::GetProgress() {
    std::lock_guard<std::mutex> guard(lock);
    return progress;
}

bool QuorPatcher::IsFinished() {
    std::lock_guard<std::mutex> guard(lock);
    return finished;
}

bool QuorPatcher::Succeeded() {
    std::lock_guard<std::mutex> guard(lock);
    return finished && succeeded;
}

uint32_t QuorPatcher::FailedEntries() {
    std::lock_guard<std::mutex> guard(lock);
    return failedEntries;
}

void QuorPatcher::SetRunningProgress(uint64_t position, uint64_t size) {
    // 1.0 is kept for the end of the run: the owner takes it as "finished".
    float value = size == 0 ? 0.0f : static_cast<float>(static_cast<double>(position) / static_cast<double>(size));
    value = std::min(value, 0.999f);
    std::lock_guard<std::mutex> guard(lock);
    progress = std::max(progress, value);
}

void QuorPatcher::Run() {
    bool ok = false;
    try {
        ok = ApplyFile();
    } catch (const std::exception& e) {
        Log::Error("patching stopped: %s", e.what());
        ShowMessage(Msg::PatchingError);
    } catch (...) {
        // Whatever it was, the owner must still see the run end.
        Log::Error("patching stopped");
        ShowMessage(Msg::PatchingError);
    }
    {
        std::lock_guard<std::mutex> guard(lock);
        succeeded = ok;
        finished = true;
        progress = 1.0f;
    }
    MarkStopped();
}

bool QuorPatcher::ApplyFile() {
    // Without its install folder every entry would land in the wrong place.
    if (installFolder.empty() || !IsDirectory(installFolder)) {
        Log::Error("patching refused: install folder \"%s\" missing", installFolder.c_str());
        ShowMessage(Msg::PatchingError);
        return false;
    }
    FileByteSource file;
    if (file.Open(patchFilePath) != 0) {
        ShowMessage(Msg::PatchOpenFailed);
        return false;
    }
    std::string problem;
    if (!CheckPatchFile(file, installFolder, &problem)) {
        Log::Error("patch file %s is corrupt: %s", patchFilePath.c_str(), problem.c_str());
        ShowMessage(Msg::PatchCorrupt);
        return false;
    }

    PatchFile reader(file);
    reader.ReadHeader();
    uint64_t entryStart = 0;
    uint64_t entryLength = 0;
    CountingSource counting(file, [&](uint64_t consumed) {
        SetRunningProgress(entryStart + std::min(consumed, entryLength), file.Size());
    });
    bool all = true;
    PatchEntry entry;
    for (uint32_t i = 0; i < reader.EntryCount(); ++i) {
        if (!reader.NextEntry(entry)) {
            // It was whole a moment ago: the file changed under us.
            ShowMessage(Msg::PatchCorrupt);
            return false;
        }
        entryStart = entry.dataOffset;
        entryLength = entry.dataLength;
        counting.Restart();
        if (!ApplyEntry(counting, entry, i)) {
            all = false;
            {
                std::lock_guard<std::mutex> guard(lock);
                ++failedEntries;
            }
            ShowMessage(Msg::PatchingError);
        }
        SetRunningProgress(reader.Position(), file.Size());
    }
    return all;
}

bool QuorPatcher::ApplyEntry(ByteSource& patch, const PatchEntry& entry, uint32_t index) {
    if (!TouchesFiles(entry.operation))
        return true;  // an operation of a later format: its data is skipped
    std::optional<std::string> joined = PatchEntryTarget(installFolder, entry);
    if (!joined)
        return false;  // refused by the whole-file check already
    std::string target = ResolveExistingCase(installFolder, *joined);
    // The path was checked as text; a link in the install folder that leads out
    // of it must not carry a write or a delete along.
    if (!StaysInside(installFolder, platform::FolderOf(target, "."))) {
        LogEntry(index, target, "leads out of the install folder through a link");
        return false;
    }
    bool ok = false;
    switch (entry.operation) {
    case kPatchWrite: ok = WriteEntry(patch, entry, target); break;
    case kPatchDelete: ok = DeleteEntry(target); break;
    case kPatchBinaryDiff: ok = DiffEntry(patch, entry, target); break;
    }
    if (!ok)
        LogEntry(index, target, "failed");
    return ok;
}

bool QuorPatcher::PrepareFolder(const std::string& folder, bool create) {
    if (create && !IsDirectory(folder)) {
        // Every missing level below the install folder, as written, each lasting a
        // power cut before a file is renamed into it; 0777: the umask decides.
        std::string root = installFolder;
        while (root.size() > 1 && root.back() == '/')
            root.pop_back();
        if (folder.compare(0, root.size(), root) != 0 || !platform::MakeFolders(folder, 0777))
            return false;
    }
    if (!IsDirectory(folder))
        return false;
    if (cleanedFolders.insert(folder).second)
        ReplacementFile::RemoveLeftovers(folder);
    return true;
}

bool QuorPatcher::WriteEntry(ByteSource& patch, const PatchEntry& entry, const std::string& target) {
    if (!PrepareFolder(platform::FolderOf(target, "."), true))
        return false;
    ReplacementFile replacement(target);
    if (replacement.Open() != 0)
        return false;
    LzmaResult r = DecodeLzmaAlone(patch, entry.dataOffset, entry.dataLength, replacement, kLzmaUnknownSizeMemoryLimit,
                                   kPatchLzmaMemoryCeiling);
    // A stream the decoder calls malformed is still judged by its checksum, as
    // the format intends; running out of memory or disk never is.
    if ((r != LzmaResult::Ok && r != LzmaResult::Corrupt) || replacement.Error() != 0)
        return false;
    if (replacement.Crc() != entry.newCrc)
        return false;
    return replacement.Commit() == 0;
}

bool QuorPatcher::DiffEntry(ByteSource& patch, const PatchEntry& entry, const std::string& target) {
    // The old file is read, so a link in its place would carry another file's
    // bytes (and its secrecy) into the game's new version.
    FileByteSource old;
    if (old.Open(target, false) != 0)
        return false;
    uint32_t crc = 0;
    if (!SourceCrc32(old, crc))
        return false;
    if (crc == entry.oldCrc) {
        if (PrepareFolder(platform::FolderOf(target, "."), false) && NewSizeFits(patch, entry, target)) {
            ReplacementFile replacement(target);
            if (replacement.Open() == 0) {
                std::string reason;
                BsdiffResult r = ApplyBsdiff(old, patch, entry.dataOffset, entry.dataLength, replacement, &reason);
                if (r == BsdiffResult::Ok && replacement.Error() == 0 && replacement.Crc() == entry.newCrc &&
                    replacement.Commit() == 0)
                    return true;
                if (r != BsdiffResult::Ok)
                    Log::Warning("binary diff of %s: %s", target.c_str(), reason.c_str());
            }
        }
    }
    // Untouched: it passes only when it already is the new version.
    return crc == entry.newCrc;
}

bool QuorPatcher::NewSizeFits(ByteSource& patch, const PatchEntry& entry, const std::string& target) {
    // The declared size is the patch's own claim: refused before a byte of it is
    // written when the disk could never hold it.
    BsdiffHeader header;
    if (!ReadBsdiffHeader(patch, entry.dataOffset, entry.dataLength, header))
        return true;  // the patch itself reports what is wrong
    std::optional<DiskFreeBytes> free =
        freeSpace ? freeSpace(platform::FolderOf(target, ".")) : GetDiskFreeBytes(platform::FolderOf(target, "."));
    if (free && header.newSize > free->freeForUser) {
        Log::Warning("binary diff of %s: its new size %llu exceeds the free space", target.c_str(),
                     static_cast<unsigned long long>(header.newSize));
        return false;
    }
    return true;
}

bool QuorPatcher::DeleteEntry(const std::string& target) {
    if (::unlink(target.c_str()) != 0)
        return errno == ENOENT || errno == ENOTDIR;  // already gone
    platform::SyncFolderOf(target);
    return true;
}
