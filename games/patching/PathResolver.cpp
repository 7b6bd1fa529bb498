#include "games/patching/PathResolver.h"

#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <sys/stat.h>

#include "games/patching/FolderListings.h"
#include "platform/SafePath.h"

namespace {

bool Exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

// The one entry of folder named part without regard to case, or "" when there
// is none or more than one.
std::string FindSingleMatch(const std::string& folder, const std::string& part) {
    DIR* listing = ::opendir(folder.c_str());
    if (!listing)
        return {};
    std::string found;
    int matches = 0;
    while (dirent* e = ::readdir(listing)) {
        if (EqualsIgnoringAsciiCase(e->d_name, part)) {
            if (++matches > 1)
                break;
            found = e->d_name;
        }
    }
    ::closedir(listing);
    return matches == 1 ? found : std::string();
}

std::string WithoutTrailingSlashes(std::string path) {
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

// The path with every link followed, or "" when that cannot be had.
std::string RealPath(const std::string& path) {
    char* real = ::realpath(path.c_str(), nullptr);
    if (!real)
        return {};
    std::string result = real;
    std::free(real);
    return result;
}

}  // namespace

bool StaysInside(const std::string& base, const std::string& folder) {
    const std::string root = RealPath(base);
    if (root.empty())
        return false;
    // The deepest part that exists (a link that leads nowhere exists too, and
    // fails below).
    std::string existing = WithoutTrailingSlashes(folder);
    struct stat st {};
    while (::lstat(existing.c_str(), &st) != 0) {
        if (errno != ENOENT && errno != ENOTDIR)
            return false;
        size_t slash = existing.rfind('/');
        if (slash == std::string::npos)
            return false;
        existing.resize(slash == 0 ? 1 : slash);
    }
    const std::string real = RealPath(existing);
    if (real.empty() || real.compare(0, root.size(), root) != 0)
        return false;
    return real.size() == root.size() || root == "/" || real[root.size()] == '/';
}

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z')
            x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = static_cast<char>(y - 'A' + 'a');
        if (x != y)
            return false;
    }
    return true;
}

std::string ResolveExistingCase(const std::string& base, const std::string& joined, FolderListings* listings) {
    const std::string root = WithoutTrailingSlashes(base);
    if (joined.compare(0, root.size(), root) != 0)
        return joined;
    // A path that exists as written resolves to itself: one look instead of one per part.
    if (Exists(joined))
        return joined;
    size_t start = root.size();
    if (root != "/") {
        if (start < joined.size() && joined[start] != '/')
            return joined;  // not a path below root
    } else {
        start = 0;
    }
    std::string result = root;
    bool resolving = true;
    while (start < joined.size()) {
        while (start < joined.size() && joined[start] == '/')
            ++start;
        size_t end = joined.find('/', start);
        if (end == std::string::npos)
            end = joined.size();
        if (end == start)
            break;
        std::string part = joined.substr(start, end - start);
        start = end;
        std::string folder = result;
        if (result.back() != '/')
            result += '/';
        if (resolving && !Exists(result + part)) {
            std::string match = listings ? listings->SingleMatch(folder, part) : FindSingleMatch(folder, part);
            if (match.empty())
                resolving = false;  // nothing below a missing part exists either
            else
                part = match;
        }
        result += part;
    }
    return result;
}

std::optional<std::string> ResolveDataPath(const std::string& base, const std::string& relative) {
    std::optional<std::string> joined = platform::SafeJoin(base, relative);
    if (!joined)
        return std::nullopt;
    return ResolveExistingCase(base, *joined);
}
