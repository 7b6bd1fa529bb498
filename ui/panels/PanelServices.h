#pragma once

class DiscFinder;
class GameLocator;
class InstallCheckTimes;
class PanelEvents;
class PanelHost;
class PanelPageCalls;
class PanelStore;
class PanelTransfers;
class PanelWorkers;
class PatchCatalogSource;
class ProgramStarter;

// Everything a game panel talks to. All must be set and outlive the panels.
struct PanelServices {
    PanelPageCalls* page = nullptr;
    PanelEvents* events = nullptr;
    PanelStore* store = nullptr;
    PanelTransfers* transfers = nullptr;
    GameLocator* location = nullptr;
    PatchCatalogSource* patches = nullptr;
    PanelWorkers* workers = nullptr;
    ProgramStarter* programs = nullptr;
    DiscFinder* disc = nullptr;
    InstallCheckTimes* checkTimes = nullptr;
    PanelHost* host = nullptr;
};
