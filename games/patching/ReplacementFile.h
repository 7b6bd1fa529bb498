#pragma once
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "games/patching/ByteSink.h"

// The new version of a file, written beside it under a temporary name
// (".quorpatch-" and six letters or digits, in the target's folder) and put in
// its place only by Commit, once it is complete and verified: a crash or a power
// cut at any moment leaves the old file or the new one, never half of either.
// The CRC-32 of what was written is kept on the way, so no second read is needed.
// Large files are written by a thread of the object's own while the producer
// fills the next buffer.
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

    // Flushes, gives the file the old file's mode (a new file, or one that replaces
    // a link, keeps the umask's),
    // fsyncs it, renames it over the target and fsyncs the folder. 0 or an errno
    // value; on failure the temporary file is gone and the target untouched.
    int Commit();
    void Discard();

    // True for names of the temporary pattern.
    static bool IsTemporaryName(const std::string& name);
    // Removes the temporary files an interrupted earlier run left in the folder.
    static void RemoveLeftovers(const std::string& folder);

private:
    // Hands the full buffer to the writing thread (started with the first one)
    // and takes the other; false once a write has failed.
    bool Submit();
    // Waits until the writing thread has written what it was given.
    void Drain();
    void StopWriter();
    void WriterLoop();
    // Everything given so far on disk (not yet synced); false on a failed write.
    bool Flush();

    std::string target;
    std::string folder;
    std::string temporary;
    int fd = -1;
    int error = 0;
    uint32_t crc = 0;
    uint64_t written = 0;
    std::unique_ptr<unsigned char[]> buffers[2];
    int active = 0;
    size_t buffered = 0;

    std::thread writer;
    std::mutex lock;
    std::condition_variable wake;
    const unsigned char* pending = nullptr;  // guarded by lock
    size_t pendingSize = 0;
    int writerError = 0;
    bool quit = false;
};
