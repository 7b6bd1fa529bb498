#pragma once
#include <string>
#include <vector>

// Looks for a game's installer on a disc in a drive.
class DiscFinder {
public:
    virtual ~DiscFinder() = default;
    // The folder of a game disc whose volume name contains one of the names;
    // "" when none is in a drive.
    virtual std::string FindDisc(const std::vector<std::string>& volumeNames) = 0;
    // The installer's path; "" when no disc of those volume names holds one of
    // the patterns.
    virtual std::string FindDiscInstall(const std::vector<std::string>& patterns,
                                        const std::vector<std::string>& volumeNames) = 0;
};
