// The stand-in booster as a program. Started with no arguments, as the client
// starts PMB.exe: the port comes from QUOR_STANDIN_PORT, the request log from
// QUOR_STANDIN_LOG, and QUOR_STANDIN_LOGIN_AFTER sets after how many checks it
// reports "LoggedIn" (-1: never). It ends on "shutdown", and after five
// minutes in any case, so a test that fails before its shutdown leaves no
// listener behind.
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "tests/fixtures/StandInBooster.h"

int main() {
    const char* port = std::getenv("QUOR_STANDIN_PORT");
    const char* log = std::getenv("QUOR_STANDIN_LOG");
    const char* loginAfter = std::getenv("QUOR_STANDIN_LOGIN_AFTER");
    const char* tokenFile = std::getenv("QUOR_STANDIN_TOKEN_FILE");
    if (!port)
        return 2;
    std::thread([] {
        std::this_thread::sleep_for(std::chrono::minutes(5));
        std::_Exit(4);
    }).detach();
    try {
        StandInBooster booster(std::atoi(port), log ? log : "");
        if (loginAfter)
            booster.SetLoginAfterChecks(std::atoi(loginAfter));
        if (tokenFile)
            booster.SetTokenFile(tokenFile);
        booster.WaitForShutdown();
        // Lets the shutdown reply go out before the listener closes.
        booster.Stop();
    } catch (const std::exception&) {
        return 3;
    }
    return 0;
}
