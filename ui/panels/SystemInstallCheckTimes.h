#pragma once
#include <map>
#include <string>

#include "ui/panels/InstallCheckTimes.h"

class GameMonitor;

// The given game monitor's table of check times; its own without a monitor.
class SystemInstallCheckTimes final : public InstallCheckTimes {
public:
    explicit SystemInstallCheckTimes(GameMonitor* monitor) : monitor(monitor) {}

    bool IsCheckDue(const std::string& game, bool shortInterval) override;
    void MarkChecked(const std::string& game) override;

private:
    GameMonitor* monitor;  // nullable; outlives this
    std::map<std::string, int64_t> ownTimes;
};
