#pragma once
#include <optional>
#include <string>

#include "plugins/npapi/nsPluginInstanceBase.h"

class MainProgramLauncher;

// Mirovane's object for one embedded object: making it starts Quor for the named
// game (no name: nothing is started); it then shows nothing and takes no data.
class nsPluginInstance : public nsPluginInstanceBase {
public:
    nsPluginInstance(NPP instance, MainProgramLauncher& launcher, const std::optional<std::string>& game);

    bool init(NPWindow* window) override;
    void shut() override;
    bool isInitialized() override { return initialized; }
    NPError SetWindow(NPWindow* window) override;

    NPP Instance() const { return instance; }

private:
    NPP instance;
    bool initialized = false;
    NPWindow* window = nullptr;
};
