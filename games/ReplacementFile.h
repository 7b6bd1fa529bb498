#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "games/ByteSink.h"

// The new version of a file, written beside it under a temporary name
// (".quorpatch-" and six letters or digits, in the target's folder) and put in
// its place only by Commit, once it is complete and verified: a crash or a power
// cut at any moment leaves the old file or the new one, never half of either.
// The CRC-32 of what was written is kept on the way, so no second read is needed.
class ReplacementFile : public ByteSink {
public:
    explicit ReplacementFile(std::string targetPath);
    ~ReplacementFile() override;  // discards an uncommitted temporary file
    ReplacementFile(const ReplacementFile&) = delete;
    ReplacementFile& operator=(const ReplacementFile&) = delete;

    // Creates the temporary file; 0 or an errno value.
    int Open();
    bool Write(const void* data, size_t size) override;

    uint32_t Crc() const { return crc; }
    uint64_t Size() const { return written; }
    int Error() const { return error; }  // the errno value of the first failure

    // Flushes, gives the file the old file's mode (a new file keeps the umask's),
    // fsyncs it, renames it over the target and fsyncs the folder. 0 or an errno
    // value; on failure the temporary file is gone and the target untouched.
    int Commit();
    void Discard();

    // True for names of the temporary pattern.
    static bool IsTemporaryName(const std::string& name);
    // Removes the temporary files an interrupted earlier run left in the folder.
    static void RemoveLeftovers(const std::string& folder);

private:
    bool Flush();

    std::string target;
    std::string folder;
    std::string temporary;
    int fd = -1;
    int error = 0;
    uint32_t crc = 0;
    uint64_t written = 0;
    std::unique_ptr<unsigned char[]> buffer;
    size_t buffered = 0;
};

// fsyncs a folder so that a rename, unlink or mkdir in it lasts a power cut.
void SyncFolder(const std::string& folder);
