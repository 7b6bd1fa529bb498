#pragma once
#include <string>

#include "core/threads/Task.h"

// Reports an error text to the publisher's error endpoint and to the page
// (trackEvent "Error"). The serial is the one stored when the task is created.
class ErrorTask : public Task {
public:
    explicit ErrorTask(std::string message);
    void Run() override;

    // The address Run requests: endpoint "?serialNumber=" serial
    // "&errorMessage=" and the escaped message.
    std::string RequestUrl() const;

    const std::string& Message() const { return message; }
    const std::string& Serial() const { return serial; }
    const std::string& Endpoint() const { return endpoint; }

private:
    std::string message;
    std::string endpoint;
    std::string serial;
};
