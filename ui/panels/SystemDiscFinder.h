#pragma once
#include "ui/panels/DiscFinder.h"

// The disc search over the mounted optical drives.
class SystemDiscFinder final : public DiscFinder {
public:
    std::string FindDisc(const std::vector<std::string>& volumeNames) override;
    std::string FindDiscInstall(const std::vector<std::string>& patterns,
                                const std::vector<std::string>& volumeNames) override;
};
