#pragma once
#include <string>

#include "games/patching/ByteSource.h"

// A regular file opened for reading, read with pread so that any number of
// readers may share it. The size is the one seen at Open.
class FileByteSource : public ByteSource {
public:
    FileByteSource() = default;
    ~FileByteSource() override;
    FileByteSource(const FileByteSource&) = delete;
    FileByteSource& operator=(const FileByteSource&) = delete;

    // 0, or an errno value (EISDIR/EINVAL for something that is not a regular
    // file; ELOOP for a link when links are not followed).
    int Open(const std::string& path, bool followLinks = true);
    bool IsOpen() const { return fd >= 0; }
    void Close();

    uint64_t Size() const override { return size; }
    bool ReadAt(uint64_t offset, void* buffer, size_t count) override;
    // The errno value of the last failed read (0 for a range outside the file).
    int LastError() const { return lastError; }

private:
    int fd = -1;
    uint64_t size = 0;
    int lastError = 0;
};
