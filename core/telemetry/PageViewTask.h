#pragma once
#include <string>

#include "core/threads/Task.h"

// Hands a page view to the page's own tracking (trackPageView); nothing is sent
// to the web service.
class PageViewTask : public Task {
public:
    PageViewTask(std::string first, std::string second);
    void Run() override;

    const std::string& First() const { return first; }
    const std::string& Second() const { return second; }

private:
    std::string first;
    std::string second;
};
