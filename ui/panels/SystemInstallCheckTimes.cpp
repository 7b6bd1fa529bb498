#include "ui/panels/SystemInstallCheckTimes.h"

#include "core/system/Clock.h"
#include "games/catalogue/GameMonitor.h"

bool SystemInstallCheckTimes::IsCheckDue(const std::string& game, bool shortInterval) {
    if (monitor)
        return monitor->IsCheckDue(game, shortInterval);
    auto it = ownTimes.find(game);
    int64_t last = it == ownTimes.end() ? 0 : it->second;
    return Clock::System().Now() > last + (shortInterval ? 3600 : 7200);
}

void SystemInstallCheckTimes::MarkChecked(const std::string& game) {
    if (monitor)
        monitor->MarkChecked(game);
    else
        ownTimes[game] = Clock::System().Now();
}
