#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tests/fixtures/TestEnvironment.h"
#include "tests/fixtures/TestHttpServer.h"
#include "tests/ui/QuorProcess.h"

// The real program for one user in child processes: a private home, runtime
// folder and registry hive for the user, a publisher service on 127.0.0.1 that
// serves a manifest, the activity and page-call logs, all on the test's own
// display.
class ProgramRig {
public:
    explicit ProgramRig(TestEnvironment& env, const std::string& user = "user");

    std::vector<std::string> Environment() const;
    std::unique_ptr<QuorProcess> Start(const std::vector<std::string>& arguments) const;
    // Starts the first instance and waits until its page has loaded.
    std::unique_ptr<QuorProcess> StartFirst(const std::vector<std::string>& arguments = {});

    std::vector<std::string> Activity() const { return FileLines(activityLog); }
    std::vector<std::string> PageCalls() const { return FileLines(pageCallLog); }
    bool WaitForActivity(const std::string& line, size_t from = 0, int timeoutMs = 20000) const;
    // Whether the page call `call` (the script text) is delivered within the time.
    bool WaitForPageCall(const std::string& call, int timeoutMs = 20000) const;
    // A "Preferences" value of this user's hive.
    std::string PrefString(const std::string& name) const;
    uint32_t PrefNumber(const std::string& name) const;
    void SetPrefNumber(const std::string& name, uint32_t value) const;

    std::string home;
    std::string runtime;
    std::string hive;
    std::string activityLog;
    std::string pageCallLog;
    std::vector<std::string> extra;  // more variables for the program
    TestHttpServer service;
};
