#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tests/fixtures/TestEnvironment.h"
#include "tests/tools/PublisherProcess.h"
#include "tests/ui/QuorProcess.h"
#include "tests/ui/XvfbDisplay.h"
#include "tools/demo-publisher/DemoGame.h"

// One world for the real program on the main road: a fresh home with its XDG
// folders and both hives (TestEnvironment), a private X display, the demo
// publisher on 127.0.0.1, a program folder holding Quor beside a scripted start
// page in place of the shipped one, and a recording xdg-open first in PATH.
//
// The scripted page records every page call it receives and answers through
// brq_interface as the test's script says (see page/brq_interface.html):
//     quor.on(['setGamePanelState', 101, 2], function () { quor.call('download', 'Star Courier'); });
// The test watches the program's page-call log (QUOR_PAGE_CALL_LOG).
class RoadRig {
public:
    static constexpr int kWaitMs = 90000;  // generous: eight of these share the machine

    explicit RoadRig(const std::vector<std::string>& publisherOptions = {});

    static const DemoGame& Game(const std::string& name);

    // The page's script for the starts that follow.
    void SetScript(const std::string& script);
    std::unique_ptr<QuorProcess> Start(const std::vector<std::string>& arguments = {}) const;

    // The delivered page calls, each without its "delivered " mark.
    std::vector<std::string> Calls() const;
    // Waits for a delivered call that begins with prefix, at index from or later;
    // its index, or -1 when none came in time.
    int WaitForCall(const std::string& prefix, size_t from = 0, int timeoutMs = kWaitMs) const;
    // The states the page was given for the game, in order.
    std::vector<int> States(int32_t gameId) const;
    // Waits until the game's states hold this run of states, one after the other.
    bool WaitForStates(int32_t gameId, const std::vector<int>& run, int timeoutMs = kWaitMs) const;
    // The publisher's request log lines ("GET /path?query 200").
    std::vector<std::string> Requests() const { return publisher.LogLines(); }
    bool WaitForRequest(const std::string& part, int timeoutMs = kWaitMs) const;
    // A game's own record of its starts and ends ("start <pid> cwd=[...] [arg]...", "exit <pid>").
    std::vector<std::string> Runs(const DemoGame& game) const;
    // The addresses the recording xdg-open was given.
    std::vector<std::string> Opened() const;

    // Installs build 1 of a game as its installer does when the user runs it.
    void InstallOutside(const DemoGame& game) const;
    std::string GameFolder(const DemoGame& game) const;  // ~/Games/<name>/
    std::string BuildFolder(const DemoGame& game, int build) const;

    TestEnvironment env;
    XvfbDisplay display;
    PublisherProcess publisher;
    std::string programFolder;  // with its trailing "/"
    std::string pageCallLog;
    std::string activityLog;
    std::string openedLog;

private:
    std::vector<std::string> environment;
};

// Every file under a folder (relative path -> bytes).
std::vector<std::pair<std::string, std::string>> FolderFiles(const std::string& folder);
