#pragma once
#include "ui/panels/PanelServices.h"
#include "ui/panels/SystemDiscFinder.h"
#include "ui/panels/SystemGameLocator.h"
#include "ui/panels/SystemInstallCheckTimes.h"
#include "ui/panels/SystemPanelEvents.h"
#include "ui/panels/SystemPanelStore.h"
#include "ui/panels/SystemPanelTransfers.h"
#include "ui/panels/SystemPanelWorkers.h"
#include "ui/panels/SystemPatchCatalog.h"
#include "ui/panels/SystemProgramStarter.h"

// The real services of the game panels, on the managers they are given. The
// window gives the page calls, the host and the managers, each manager nullptr
// where there is none; all must outlive the panels.
class SystemPanelServices {
public:
    SystemPanelServices(PanelPageCalls& page, PanelHost& host, TransferManager* transferManager,
                        CredentialManager* credentials, GameMonitor* monitor);
    SystemPanelServices(const SystemPanelServices&) = delete;
    SystemPanelServices& operator=(const SystemPanelServices&) = delete;

    const PanelServices& Services() const { return services; }
    DiscFinder& Disc() { return disc; }

private:
    SystemPanelEvents events;
    SystemPanelStore store;
    SystemPanelTransfers transfers;
    SystemGameLocator location;
    SystemPatchCatalog patches;
    SystemPanelWorkers workers;
    SystemProgramStarter programs;
    SystemDiscFinder disc;
    SystemInstallCheckTimes checkTimes;
    PanelServices services;
};
