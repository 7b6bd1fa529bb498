#include "games/catalogue/GameMonitor.h"

#include <exception>

#include "core/settings/CredentialManager.h"
#include "platform/Log.h"

GameMonitor::GameMonitor(Clock& clock, std::function<void()> sessionCheck, int64_t idleWaitMs)
    : Thread("game monitor"), clock(clock), sessionCheck(std::move(sessionCheck)), idleWaitMs(idleWaitMs) {
    Start();
}

GameMonitor::~GameMonitor() {
    Stop();
}

void GameMonitor::Poll() {
    std::lock_guard<std::mutex> guard(pollLock);
    if (sessionCheck)
        sessionCheck();
    else if (CredentialManager* credentials = CredentialManager::Instance())
        credentials->CheckSession();
}

bool GameMonitor::IsCheckDue(const std::string& game, bool shortInterval) {
    int64_t last = 0;
    {
        std::lock_guard<std::mutex> guard(timesLock);
        auto it = checkTimes.find(game);
        if (it != checkTimes.end())
            last = it->second;
    }
    return clock.Now() > last + (shortInterval ? 3600 : 7200);
}

void GameMonitor::MarkChecked(const std::string& game) {
    int64_t now = clock.Now();
    std::lock_guard<std::mutex> guard(timesLock);
    checkTimes[game] = now;
}

void GameMonitor::Run() {
    int32_t ms = period.load();
    if (ms <= 0) {
        WaitForStop(idleWaitMs);
        return;
    }
    try {
        Poll();
    } catch (const std::exception& e) {
        // A failed poll is tried again at the next period.
        Log::Warning("session check failed: %s", e.what());
    }
    WaitForStop(ms);
}
