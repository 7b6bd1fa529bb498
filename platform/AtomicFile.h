#pragma once
#include <cstddef>
#include <string>

namespace platform {

// Replaces a file so that a crash at any moment leaves the old file or the new
// one: write "<path>.tmp-<pid>-<n>" in the same folder, fsync, rename over the
// target, fsync the folder. Returns 0 or an errno value. What is in the path's
// place is replaced, never written through (a link stays as it points; a folder
// is not replaced). The temporary files that earlier writes of the path left
// when they were killed are removed first.
int WriteFileAtomically(const std::string& path, const std::string& bytes, unsigned mode = 0600);

// Puts a file in place only when there is none, never replacing one, so that of
// processes doing it at once one wins and every one sees the winner: the bytes go
// to a temporary file as above, fsynced, which is linked to the path and removed;
// then the folder is fsynced. 0 when this call's file was put in place, EEXIST
// when a file was there already (it stands, and its name is durable now too);
// else an errno value.
int CreateFileOnce(const std::string& path, const std::string& bytes, unsigned mode = 0600);

// Removes the temporary files that writes of path left behind when killed (those
// of a process that has ended; see LeftoverFiles.h).
void RemoveStaleTemporaries(const std::string& path);

// The whole file; false when it cannot be opened or read to its end.
bool ReadWholeFile(const std::string& path, std::string& bytes);
// The rest of an open file, from its current offset; false on a read error.
bool ReadDescriptor(int fd, std::string& bytes);
// All of `size` bytes to an open file, again after EINTR; 0 or an errno value.
int WriteDescriptor(int fd, const void* data, size_t size);

}  // namespace platform
