#include "core/system/FileUtils.h"

#include <dirent.h>
#include <sys/stat.h>

#include <vector>

#include "platform/DurableFiles.h"

namespace {

char FoldAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Length of the UTF-8 character starting at name[i] (1 for a stray byte).
size_t CharLength(const std::string& name, size_t i) {
    size_t n = 1;
    while (i + n < name.size() && (static_cast<unsigned char>(name[i + n]) & 0xC0) == 0x80)
        ++n;
    return n;
}

}  // namespace

bool MatchesWildcard(const std::string& pattern, const std::string& name) {
    size_t p = 0, n = 0;
    // Where the last "*" was and what it has taken so far, for backtracking.
    size_t starPattern = std::string::npos, starName = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starPattern = p++;
            starName = n;
        } else if (p < pattern.size() && pattern[p] == '?') {
            ++p;
            n += CharLength(name, n);
        } else if (p < pattern.size() && FoldAscii(pattern[p]) == FoldAscii(name[n])) {
            ++p;
            ++n;
        } else if (starPattern != std::string::npos) {
            p = starPattern + 1;
            starName += CharLength(name, starName);
            n = starName;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

std::string FindFileInFolder(const std::string& pattern, const std::string& folder) {
    if (folder.empty())
        return {};
    DIR* dir = opendir(folder.c_str());
    if (!dir)
        return {};
    const std::string prefix = folder.back() == '/' ? folder : folder + "/";
    std::string best;
    bool found = false;
    while (dirent* entry = readdir(dir)) {
        std::string name = entry->d_name;
        if (name.empty() || name[0] == '.')
            continue;
        if (found && name >= best)
            continue;
        if (!MatchesWildcard(pattern, name))
            continue;
        struct stat st;
        if (stat((prefix + name).c_str(), &st) != 0 || !S_ISREG(st.st_mode))
            continue;
        best = name;
        found = true;
    }
    closedir(dir);
    return best;
}

bool FileExists(const std::string& path) {
    struct stat st;
    return !path.empty() && stat(path.c_str(), &st) == 0;
}

int64_t GetFileSize64(const std::string& path) {
    struct stat st;
    if (path.empty() || stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return -1;
    return static_cast<int64_t>(st.st_size);
}

bool CreateDirectoryTree(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos || slash == 0)
        return true;  // no folder below the root named
    if (FileExists(path))
        return true;
    return platform::MakeFolders(path.substr(0, slash), 0777);
}
