#include "games/patching/FolderListings.h"

#include <dirent.h>

#include <vector>

#include "core/text/StringUtils.h"
#include "platform/PathParts.h"

namespace {

std::vector<std::string> NamesIn(const std::string& folder) {
    std::vector<std::string> names;
    DIR* listing = ::opendir(folder.c_str());
    if (!listing)
        return names;
    while (const dirent* e = ::readdir(listing)) {
        const std::string name = e->d_name;
        if (name != "." && name != "..")
            names.push_back(name);
    }
    ::closedir(listing);
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
    const std::vector<std::string> names = NamesIn(folder);
    std::lock_guard<std::mutex> guard(lock);
    Listing& listing = folders[folder];
    if (!listing.read) {
        for (const std::string& name : names)
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
