#pragma once
#include <string>

#include "core/threads/Task.h"

// Records one user action or failure: sent to the publisher's telemetry
// endpoint and handed to the page's trackEvent. The serial is the one stored
// when the task is created.
class EventTask : public Task {
public:
    static constexpr long kConnectTimeoutSeconds = 30;
    static constexpr int kValue = -1;

    EventTask(std::string category, std::string action, std::string label);
    void Run() override;

    // The address Run requests: endpoint "?serialNumber=" serial, then the
    // escaped "&category=", "&action=" and "&label=".
    std::string RequestUrl() const;

    const std::string& Category() const { return category; }
    const std::string& Action() const { return action; }
    const std::string& Label() const { return label; }
    const std::string& Endpoint() const { return endpoint; }
    const std::string& Serial() const { return serial; }

private:
    std::string category;
    std::string action;
    std::string label;
    std::string endpoint;
    std::string serial;
};
