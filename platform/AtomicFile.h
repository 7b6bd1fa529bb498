#pragma once
#include <cstddef>
#include <string>

namespace platform {

// Replaces a file so that a crash at any moment leaves the old file or the new
// one: write "<path>.tmp-<pid>-<n>" in the same folder, fsync, rename over the
// target, fsync the folder. Returns 0 or an errno value.
int WriteFileAtomically(const std::string& path, const std::string& bytes, unsigned mode = 0600);

// The whole file; false when it cannot be opened or read to its end.
bool ReadWholeFile(const std::string& path, std::string& bytes);
// The rest of an open file, from its current offset; false on a read error.
bool ReadDescriptor(int fd, std::string& bytes);
// All of `size` bytes to an open file, again after EINTR; 0 or an errno value.
int WriteDescriptor(int fd, const void* data, size_t size);

}  // namespace platform
