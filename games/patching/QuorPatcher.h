#pragma once
#include <cstdint>
#include <mutex>
#include <set>
#include <string>

#include "core/threads/Thread.h"
#include "platform/DiskSpace.h"

class ByteSource;
struct PatchEntry;

// What a write entry's decoder may take: above the largest dictionary an
// encoder preset uses (64 MiB) with the decoder's own state, far below what a
// crafted header may declare.
inline constexpr uint64_t kPatchLzmaMemoryCeiling = 256ull << 20;

// Applies one patch file to an installed game on its own thread (run once). The
// whole file is checked before the first entry is applied; each written or
// patched file goes to a temporary file beside its target, is verified against
// its new CRC-32 and only then renamed into place, so every target is afterwards
// its old or its new version, and applying the same file again after a failure
// or a crash reaches the new build. The owner starts the thread, polls
// GetProgress until it reads 1.0 and joins (Stop, or the destructor) before
// deleting it.
class QuorPatcher : public Thread {
public:
    QuorPatcher(std::string installFolder, std::string patchFilePath);
    ~QuorPatcher() override;

    // 0 to 1; 1.0 exactly when the run has finished, whatever its outcome.
    float GetProgress();
    bool IsFinished();
    // Once finished: the file was read and every entry succeeded.
    bool Succeeded();
    uint32_t FailedEntries();

    const std::string& InstallFolder() const { return installFolder; }
    const std::string& PatchFilePath() const { return patchFilePath; }

    // How the free space of the install folder's disk is asked (statvfs unless
    // set); before Start.
    void SetFreeSpaceQuery(FreeSpaceQuery query) { freeSpace = std::move(query); }

protected:
    void Run() override;

private:
    bool ApplyFile();
    bool ApplyEntry(ByteSource& patch, const PatchEntry& entry, uint32_t index);
    bool WriteEntry(ByteSource& patch, const PatchEntry& entry, const std::string& target);
    bool DiffEntry(ByteSource& patch, const PatchEntry& entry, const std::string& target);
    bool NewSizeFits(ByteSource& patch, const PatchEntry& entry, const std::string& target);
    bool DeleteEntry(const std::string& target);
    bool PrepareFolder(const std::string& folder, bool create);
    void SetRunningProgress(uint64_t position, uint64_t size);

    const std::string installFolder;
    const std::string patchFilePath;
    FreeSpaceQuery freeSpace;
    std::set<std::string> cleanedFolders;  // folders already cleared of leftovers, thread only

    std::mutex lock;
    float progress = 0.0f;
    bool finished = false;
    bool succeeded = false;
    uint32_t failedEntries = 0;
};
