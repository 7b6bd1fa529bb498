#pragma once
#include <functional>
#include <string>

#include "core/diagnostics/DiagnosticSnapshot.h"
#include "core/system/Clock.h"
#include "core/threads/Task.h"

// The diagnostic report: build, manifest, install folder, round-trip times to
// the publisher's service, the transfers and the games, as "<br>"-separated
// lines for the page's diagnostics view. Runs on the task queue: it pings and
// opens files, and reads nothing of the program but its snapshot and the
// registry.
class DiagnosticTask : public Task {
public:
    using Pinger = std::function<std::string(const std::string& host)>;

    explicit DiagnosticTask(DiagnosticSnapshot snapshot, Clock& clock = Clock::System(), Pinger ping = {});

    // Builds the report and hands it to the page.
    void Run() override;
    std::string BuildReport();

    // The host part of a service address ("http://host:port/path" gives "host").
    static std::string HostOf(const std::string& address);

private:
    DiagnosticSnapshot snapshot;
    Clock& clock;
    Pinger ping;
};
