#include "core/telemetry/EventTask.h"

#include "core/PageCallSink.h"
#include "core/net/HttpRequest.h"
#include "core/settings/ConfigManager.h"
#include "core/settings/PrefsStore.h"
#include "core/text/QueryEscape.h"

EventTask::EventTask(std::string category, std::string action, std::string label)
    : category(std::move(category)), action(std::move(action)), label(std::move(label)) {
    if (ConfigManager* config = ConfigManager::Instance())
        endpoint = config->TelemetryUrl();
    serial = Prefs::GetString("CurrentSerialNumber");
}

std::string EventTask::RequestUrl() const {
    // The serial is digits; escaping keeps it so and keeps a damaged stored value
    // from adding parameters of its own.
    return endpoint + "?serialNumber=" + QueryEscape(serial) + "&category=" + QueryEscape(category) +
           "&action=" + QueryEscape(action) + "&label=" + QueryEscape(label);
}

void EventTask::Run() {
    // The page hears of it first, so a failing request cannot keep it from the page.
    PageCallSink::Current().trackEvent(category, action, label, kValue);
    // Without a configuration there is no endpoint to report to.
    if (!endpoint.empty())
        HttpGetToString(RequestUrl(), kConnectTimeoutSeconds, BodyKind::Report);
}
