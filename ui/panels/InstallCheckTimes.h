#pragma once
#include <string>

// When each game's installation was last checked, held for the run.
class InstallCheckTimes {
public:
    virtual ~InstallCheckTimes() = default;
    // More than 3600 s (shortInterval) or 7200 s since the last check; a game
    // never checked is due.
    virtual bool IsCheckDue(const std::string& game, bool shortInterval) = 0;
    virtual void MarkChecked(const std::string& game) = 0;
};
