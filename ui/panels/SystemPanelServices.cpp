#include "ui/panels/SystemPanelServices.h"

SystemPanelServices::SystemPanelServices(PanelPageCalls& page, PanelHost& host, TransferManager* transferManager,
                                         CredentialManager* credentials, GameMonitor* monitor)
    : store(credentials), transfers(transferManager), checkTimes(monitor) {
    services.page = &page;
    services.events = &events;
    services.store = &store;
    services.transfers = &transfers;
    services.location = &location;
    services.patches = &patches;
    services.workers = &workers;
    services.programs = &programs;
    services.disc = &disc;
    services.checkTimes = &checkTimes;
    services.host = &host;
}
