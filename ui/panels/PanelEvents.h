#pragma once
#include <cstdint>
#include <string>

// The task queue as the panels use it: telemetry events and the download pop-up.
// A full queue drops what it is given.
class PanelEvents {
public:
    virtual ~PanelEvents() = default;
    virtual void QueueEvent(const std::string& category, const std::string& action, const std::string& label) = 0;
    virtual void QueueDownloadPopup(int32_t delaySeconds, const std::string& address) = 0;
};
