#pragma once
#include "ui/panels/PanelEvents.h"

// Telemetry events and download pop-ups as tasks on the process's task queue.
class SystemPanelEvents final : public PanelEvents {
public:
    void QueueEvent(const std::string& category, const std::string& action, const std::string& label) override;
    void QueueDownloadPopup(int32_t delaySeconds, const std::string& address) override;
};
