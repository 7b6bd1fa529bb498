#include "plugins/npapi/nsPluginInstance.h"

#include "plugins/common/MainProgramLauncher.h"

nsPluginInstance::nsPluginInstance(NPP instance, MainProgramLauncher& launcher, const std::optional<std::string>& game)
    : instance(instance) {
    launcher.LaunchMainProgram(game ? &*game : nullptr);
}

bool nsPluginInstance::init(NPWindow* w) {
    window = w;
    initialized = true;
    return true;
}

void nsPluginInstance::shut() {
    initialized = false;
    window = nullptr;
}

NPError nsPluginInstance::SetWindow(NPWindow* w) {
    window = w;
    return NPERR_NO_ERROR;
}
