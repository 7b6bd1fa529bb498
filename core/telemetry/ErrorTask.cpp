#include "core/telemetry/ErrorTask.h"

#include "core/PageCallSink.h"
#include "core/net/HttpRequest.h"
#include "core/settings/ConfigManager.h"
#include "core/settings/PrefsStore.h"
#include "core/text/QueryEscape.h"

namespace {
constexpr long kConnectTimeoutSeconds = 5;
}

ErrorTask::ErrorTask(std::string text) : message(std::move(text)) {
    if (ConfigManager* config = ConfigManager::Instance())
        endpoint = config->ErrorUrl();
    serial = Prefs::GetString("CurrentSerialNumber");
}

std::string ErrorTask::RequestUrl() const {
    return endpoint + "?serialNumber=" + QueryEscape(serial) + "&errorMessage=" + QueryEscape(message);
}

void ErrorTask::Run() {
    PageCallSink::Current().trackEvent("Error", message, serial, -1);
    // A report that cannot be sent is lost; nobody is told.
    if (!endpoint.empty())
        HttpGetToString(RequestUrl(), kConnectTimeoutSeconds, BodyKind::Report);
}
