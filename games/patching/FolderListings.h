#pragma once
#include <mutex>
#include <string>
#include <unordered_map>

// The names in folders, each folder read once, for resolving many paths without
// regard to case (ResolveExistingCase): a large folder that many lines name in
// another case is listed once, not once per line. Names created after a folder
// was read are told through Added; none is taken out, so its user must remove
// no name that a path may resolve to while it is in use. Safe from several
// threads.
class FolderListings {
public:
    // The one entry of folder whose name equals part without regard to ASCII
    // case; "" when there is none or more than one.
    std::string SingleMatch(const std::string& folder, const std::string& part);

    // path and every folder above it exist now (a file renamed into place, the
    // folders made for it).
    void Added(const std::string& path);

private:
    struct Listing {
        bool read = false;  // the folder's own names are in; else only those Added
        std::unordered_map<std::string, std::string> byFoldedName;  // "" when two names fold alike
    };
    static void Insert(Listing& listing, const std::string& name);

    std::mutex lock;  // guards folders
    std::unordered_map<std::string, Listing> folders;
};
