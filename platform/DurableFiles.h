#pragma once
#include <string>

namespace platform {

// The barriers that make a change survive a power cut. Data written to a file is
// on the disk only after the file is synced; a name created, renamed or removed
// only after the folder that holds it is synced; and the file system may store
// them in any order. So: sync a file before the rename or link that publishes
// it, sync the folder after it, and record nothing that relies on either before
// both have returned.

// fsync: the file's data and all its metadata (size, mode). 0 or an errno value;
// EINTR is retried.
int SyncFile(int fd);
// fdatasync: the data and what is needed to read it back (the size), not the
// times or the mode. 0 or an errno value.
int SyncFileData(int fd);
// fsync of a folder, making the names inside it durable. 0 or an errno value.
int SyncFolder(const std::string& folder);
// The folder holding `path`'s name ("." for a bare name).
int SyncFolderOf(const std::string& path);

// Creates a folder and its missing parents with the given mode; the parent of each
// folder created is synced before the next level is made, so a folder that exists
// afterwards keeps existing at a power cut. True when `path` is a folder afterwards.
bool MakeFolders(const std::string& path, unsigned mode = 0700);

}  // namespace platform
