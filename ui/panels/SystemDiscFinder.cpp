#include "ui/panels/SystemDiscFinder.h"

#include "core/system/DiscSearch.h"

std::string SystemDiscFinder::FindDisc(const std::vector<std::string>& volumeNames) {
    return FindGameDisc(volumeNames);
}

std::string SystemDiscFinder::FindDiscInstall(const std::vector<std::string>& patterns,
                                              const std::vector<std::string>& volumeNames) {
    return ::FindDiscInstall(patterns, volumeNames);
}
