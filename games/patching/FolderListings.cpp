#include "games/patching/FolderListings.h"

#include <cerrno>
#include <dirent.h>

#include <memory>
#include <optional>
#include <vector>

#include "core/text/StringUtils.h"
#include "platform/PathParts.h"

namespace {

// Nothing when the folder cannot be read now (gone, or out of descriptors):
// such a failure is not kept, as a listing with no names would be.
std::optional<std::vector<std::string>> NamesIn(const std::string& folder) {
    std::unique_ptr<DIR, int (*)(DIR*)> listing(::opendir(folder.c_str()), &::closedir);
    if (!listing)
        return std::nullopt;
    std::vector<std::string> names;
    errno = 0;
    while (const dirent* e = ::readdir(listing.get())) {
        const std::string name = e->d_name;
        if (name != "." && name != "..")
            names.push_back(name);
    }
    if (errno != 0)
        return std::nullopt;
    return names;
}

}  // namespace

void FolderListings::Insert(Listing& listing, const std::string& name) {
    auto [at, inserted] = listing.byFoldedName.emplace(LowerAscii(name), name);
    if (!inserted && at->second != name)
        at->second.clear();  // a second spelling: no single match any more
}

std::string FolderListings::SingleMatch(const std::string& folder, const std::string& part) {
    {
        std::lock_guard<std::mutex> guard(lock);
        auto it = folders.find(folder);
        if (it != folders.end() && it->second.read) {
            auto match = it->second.byFoldedName.find(LowerAscii(part));
            return match == it->second.byFoldedName.end() ? std::string() : match->second;
        }
    }
    // Read without the lock, so other readers go on; a name added meanwhile is
    // kept in the listing whether or not this read saw it.
    const std::optional<std::vector<std::string>> names = NamesIn(folder);
    if (!names)
        return std::string();
    std::lock_guard<std::mutex> guard(lock);
    Listing& listing = folders[folder];
    if (!listing.read) {
        for (const std::string& name : *names)
            Insert(listing, name);
        listing.read = true;
    }
    auto match = listing.byFoldedName.find(LowerAscii(part));
    return match == listing.byFoldedName.end() ? std::string() : match->second;
}

void FolderListings::Added(const std::string& path) {
    std::lock_guard<std::mutex> guard(lock);
    std::string at = path;
    while (at.size() > 1) {
        const std::string folder = platform::FolderOf(at, "");
        if (folder.empty() || folder == at)
            break;
        Insert(folders[folder], platform::BaseName(at));
        at = folder;
    }
}
