#pragma once
#include <cstdint>
#include <string>

// The name (without folder) of the first plain file in the folder whose name
// matches the pattern: "*" any run of characters, "?" one character, letters
// without regard to ASCII case, as Windows matches. Names starting with "." are
// hidden and skipped; folders are not entered. "First" is in byte order of the
// names. Empty when the folder cannot be read or nothing matches.
std::string FindFileInFolder(const std::string& pattern, const std::string& folder);

// The pattern rule of FindFileInFolder for one name.
bool MatchesWildcard(const std::string& pattern, const std::string& name);

// True when something (file or folder) exists at the path.
bool FileExists(const std::string& path);

// The size of the regular file at the path; -1 when there is none.
int64_t GetFileSize64(const std::string& path);

// Creates every missing folder along the path: each part followed by "/". A last
// part without a "/" after it is a file name and is not created. The folders get
// 0777 less the umask, as any new folder, and last a power cut (platform's
// MakeFolders). True when the folders are there afterwards.
bool CreateDirectoryTree(const std::string& path);
