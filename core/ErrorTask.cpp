// Provisional: reports to the page only; the HTTP report comes with the request helper.
#include "core/ErrorTask.h"

#include "core/ConfigManager.h"
#include "core/PageCallSink.h"
#include "core/Prefs.h"

ErrorTask::ErrorTask(std::string text) : message(std::move(text)) {
    if (ConfigManager* config = ConfigManager::Instance())
        endpoint = config->ErrorUrl();
    serial = Prefs::GetString("CurrentSerialNumber");
}

void ErrorTask::Run() {
    PageCallSink::Current().trackEvent("Error", message, serial, -1);
}
