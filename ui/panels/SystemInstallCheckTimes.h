#pragma once
#include <map>
#include <string>

#include "ui/panels/InstallCheckTimes.h"

// The game monitor's table of check times; its own while no monitor exists.
class SystemInstallCheckTimes final : public InstallCheckTimes {
public:
    bool IsCheckDue(const std::string& game, bool shortInterval) override;
    void MarkChecked(const std::string& game) override;

private:
    std::map<std::string, int64_t> ownTimes;
};
