#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>

#include "core/system/Clock.h"
#include "core/threads/Singleton.h"
#include "core/threads/Thread.h"

// Once a manifest has named a period, has the page re-check the login session
// every period milliseconds; keeps when each game's installation was last
// checked. Its thread starts with it and ends with it.
class GameMonitor : public Singleton<GameMonitor>, public Thread {
public:
    // While no period is set the monitor only looks again this often.
    static constexpr int64_t kIdleWaitMs = 10000;

    // sessionCheck runs on every poll; empty: the credential manager's session
    // check. idleWaitMs: how often an idle monitor looks again (tests shorten it).
    explicit GameMonitor(Clock& clock = Clock::System(), std::function<void()> sessionCheck = {},
                         int64_t idleWaitMs = kIdleWaitMs);
    ~GameMonitor() override;

    // Milliseconds between polls; 0 or less keeps the monitor idle. Any thread.
    void SetPeriod(int32_t milliseconds) { period.store(milliseconds); }
    int32_t Period() const { return period.load(); }

    void Poll();

    // True when the game's last installation check is more than 3600 s
    // (shortInterval) or 7200 s ago; a game never checked is due. Any thread.
    bool IsCheckDue(const std::string& game, bool shortInterval);
    void MarkChecked(const std::string& game);

protected:
    void Run() override;

private:
    Clock& clock;
    std::function<void()> sessionCheck;
    const int64_t idleWaitMs;
    std::mutex pollLock;
    std::mutex timesLock;
    std::map<std::string, int64_t> checkTimes;
    std::atomic<int32_t> period{0};
};
